// A station: one device connection, the hosted control, who and where, and the one procedure
// every run that can write the device goes through, whichever host started it (a command, a
// script line, a click in the window). The hosts add only how they show it: progress, message
// boxes, a status bar.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hosts/station/connection.h"
#include "hosts/station/guards.h"
#include "hosts/station/hosted_control.h"
#include "records/limits.h"
#include "hosts/station/run_kinds.h"
#include "hosts/station/run_recorder.h"

namespace vx {

struct RunResult {
  bool done = false;
  bool interrupted = false;  // a stop asked for before or during the run
  std::string outcome;       // done, refused, failed, interrupted, out of limits
  records::RunRecord record;
  std::string store_warning;  // the record could not be stored, where it was kept instead
  std::int32_t returned = 0;  // what a host method returned
};

class Station {
 public:
  Station(Platform& platform, InterruptRequest& interrupt)
      : platform_(platform),
        interrupt_(interrupt),
        device_(platform, interrupt),
        control_(platform, device_) {}

  Connection& device() { return device_; }
  HostedControl& control() { return control_; }
  const HostedControl& control() const { return control_; }
  Platform& platform() { return platform_; }
  InterruptRequest& interrupt() { return interrupt_; }
  StationInfo info;
  std::optional<Limits> limits;
  // The properties the control is shown with (the page's 8-bit address, target info, ...).
  HostProperties properties;
  // How far a reference may be from its reading before a host objects.
  GuardSettings guard;
  // Called when a run starts and when it has ended (a host's progress display).
  std::function<void(const RunKind&)> on_run_start;
  std::function<void()> on_run_end;

  // A message box as the platform showed it: the run in progress keeps it in its record.
  void NoteMessage(const std::string& text) { messages_.push_back(text); }
  const std::vector<std::string>& messages() const { return messages_; }
  // How a reference was taken (a meter's readings): recorded with the next runs that use the
  // box while it still holds this text.
  void SetReferenceSource(const std::string& label, const std::string& text, records::Json source);

  // A reference a person or an instrument gave for this unit, as it was typed into its box.
  void NoteGiven(const std::string& key, const std::string& text) { given_[key] = text; }
  // What speaks against starting the run now, each in a sentence: references nobody gave for
  // this unit, and references too far from the readings they correct (after a fresh scan).
  std::vector<std::string> Objections(const RunKind& kind);

  // Shows the control with the station's properties (after a device switch: on the new one).
  void Show() { control_.Show(properties); }

  // One run that can write the device: its record begun (data flash and readings before),
  // the action, what the device and the page show afterwards, the limits, the record stored.
  // act: what starts the run; by default the page's button or host method of a page run.
  // done: for a host's own run, whether it succeeded (a page run's done mark says it).
  // extra: what the run kind adds to its record, asked after the run.
  RunResult Run(const RunKind& kind, const std::function<void()>& act = nullptr,
                const std::function<bool()>& done = nullptr,
                const std::function<records::Json()>& extra = nullptr);

 private:
  Platform& platform_;
  InterruptRequest& interrupt_;
  Connection device_;
  HostedControl control_;
  std::vector<std::string> messages_;
  std::map<std::string, records::Json> sources_;  // by label, with the text they gave
  std::map<std::string, std::string> given_;      // box -> the text given for it
};

}  // namespace vx
