// A station: one device connection, the hosted control, who and where, and one procedure for
// each thing a user does with the device (a page action as a recorded run, the restore of a
// record), whichever host it came from (a command, a script line, a click in the window). The
// hosts ask and show through the station's UI seam; what an operation did is its Outcome.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hosts/station/connection.h"
#include "hosts/station/guards.h"
#include "hosts/station/hosted_control.h"
#include "hosts/station/outcome.h"
#include "hosts/station/run_kinds.h"
#include "hosts/station/run_recorder.h"
#include "hosts/station/station_ui.h"
#include "records/limits.h"

namespace vx {

struct RunResult {
  Outcome outcome;
  records::RunRecord record;
  std::int32_t returned = 0;  // what a host method returned
  bool interrupted() const { return outcome.verdict == "interrupted"; }
};

class Station {
 public:
  // ui: how the host in front asks and shows; none for a station nobody watches (it answers
  // every question with Cancel).
  Station(Platform& platform, InterruptRequest& interrupt, StationUi* ui = nullptr);

  Connection& device() { return device_; }
  HostedControl& control() { return control_; }
  const HostedControl& control() const { return control_; }
  Platform& platform() { return platform_; }
  InterruptRequest& interrupt() { return interrupt_; }
  StationUi& ui() { return *ui_; }
  StationInfo info;
  std::optional<Limits> limits;
  // The properties the control is shown with (the page's 8-bit address, target info, ...).
  HostProperties properties;
  // How far a reference may be from its reading before a host objects.
  GuardSettings guard;
  // How long a run waits for another program that holds the device.
  std::chrono::milliseconds bus_wait{1000};
  // Where the simulator's state is saved after each run ("": not saved).
  std::string state_file;

  // A message box as the platform showed it: the run in progress keeps it in its record.
  void NoteMessage(const std::string& text) { messages_.push_back(text); }
  const std::vector<std::string>& messages() const { return messages_; }
  // How a reference was taken (a meter's readings): recorded with the next runs that use the
  // box while it still holds this text.
  void SetReferenceSource(const std::string& label, const std::string& text, Json source);

  // A reference a person or an instrument gave for this unit, as it was typed into its box.
  void NoteGiven(const std::string& key, const std::string& text) { given_[key] = text; }
  // What speaks against starting the run now, each in a sentence: references nobody gave for
  // this unit, and references too far from the readings they correct (after a fresh scan).
  std::vector<std::string> Objections(const RunKind& kind);

  // Shows the control with the station's properties (after a device switch: on the new one),
  // and says so when the device is found in calibration mode, as a program stopped dead in a
  // run leaves it (its FETs may be on).
  void Show();

  // What a user does at the page: the run of a button or host method, refused before it starts
  // when a label is not one, a limits file checks nothing it calibrates, another program holds
  // the device, or its references speak against it and the user does not go on (the
  // objections he went on past are recorded); then the recorded run, the state saved, and its
  // outcome shown. extra: what the run kind adds to its record.
  RunResult PageRun(const RunKind& kind, const Json& extra = nullptr);

  // A record's data flash from before its run written back to the device: `which` is a
  // record's number in the station's store or a record file. Refused unless the record can be
  // restored and the device is its unit as that run left it, or the user goes on knowing each
  // difference (`force` goes on without asking); then a confirmation, the write, the check,
  // the restore recorded under the connected unit, the state saved. Throws records::StoreError
  // when the store cannot be read.
  RunResult RestoreRecord(const std::string& which, bool force = false);

  // One run that can write the device: its record begun (data flash and readings before),
  // the action, what the device and the page show afterwards, the limits, the record stored.
  // act: what starts the run; by default the page's button or host method of a page run.
  // done: for a host's own run, whether it succeeded (a page run's done mark says it).
  // extra: what the run kind adds to its record, asked after the run.
  RunResult Run(const RunKind& kind, const std::function<void()>& act = nullptr,
                const std::function<bool()>& done = nullptr,
                const std::function<Json()>& extra = nullptr);

  // Saves the simulator's state to state_file unless it was saved after the device's last
  // transfer; false (said through the UI, once) when it cannot be written.
  bool SaveState();

 private:
  RunResult Refused(const RunKind& kind, std::vector<std::string> reasons);

  Platform& platform_;
  InterruptRequest& interrupt_;
  StationUi* ui_;
  Connection device_;
  HostedControl control_;
  std::vector<std::string> messages_;
  std::map<std::string, Json> sources_;       // by label, with the text they gave
  std::map<std::string, std::string> given_;  // box -> the text given for it
  bool saved_ = false;                        // the state file holds the device as it is
  std::string save_failed_;                   // why the last save failed
};

}  // namespace vx
