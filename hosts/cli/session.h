// One invocation of the command line: the platform, the device (simulator or bus) with its lock
// and trace, and for page commands the plug-in with its control in a console container.
#pragma once

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/cal_api.h"
#include "hosts/cli/output.h"
#include "hosts/cli/progress.h"
#include "hosts/common/bus_lock.h"
#include "hosts/common/device.h"
#include "hosts/common/limits.h"
#include "hosts/common/plugin_loader.h"
#include "hosts/common/recording_adapter.h"
#include "hosts/common/run_recorder.h"
#include "platform/console_platform.h"

namespace vx::sim {
class SimDevice;
}

namespace vx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the run did not end with its done mark, or a device error
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFile = 3;           // a state, trace or script file
inline constexpr int kExitSetup = 4;          // device, bus lock or plug-in could not be had
inline constexpr int kExitOutOfLimits = 5;    // the run was done, the unit is outside its limits
inline constexpr int kExitInterrupted = 130;  // a signal stopped the run at a safe point

struct Options {
  DeviceChoice device;
  std::string save_state;
  std::string trace;
  std::string config_dir;
  std::string target_info = "800.1.02";
  std::string plugin;
  bool json = false;
  bool yes = false;
  bool fast = false;  // virtual time (simulator only)
  double bus_wait_s = 10;
  Station station;  // where records go, and who and what they name
  std::optional<Limits> limits;
  // Creates the control instead of loading the plug-in (programs that link the control).
  std::function<ICal*()> make_cal;
};

// The folder the plug-in reads Config.ini from: --config-dir, else the plug-in's own.
std::string ConfigFolder(const Options& o);

class Session : public IContainer {
 public:
  explicit Session(Options o);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Checks the output files' folders, locks and opens the device; an exit code (0, or the
  // reason with a message on stderr).
  int OpenDevice();
  // Loads the plug-in, creates the control and shows it; false with a message on stderr.
  bool ShowControl();
  // Writes the simulator's state if asked; false when that failed.
  bool Finish();

  Platform& AmbientPlatform() override { return platform_; }
  std::shared_ptr<SMBusAdapter> GetObjectProperty(const std::string& name) override;

  // One run that can write the device (a click, a host method, raw transfers): recorded with
  // the data flash before and after, its progress shown, a stop asked for by a signal taken at
  // the run's next safe point (then the line that says what was done is printed).
  struct RunResult {
    bool done = false;
    bool interrupted = false;
    std::string outcome;
    records::RunRecord record;
  };
  // extra: what this run kind adds to its record, asked after the run.
  RunResult Run(const std::string& run, const std::string& title,
                const std::function<void()>& action, const std::function<bool()>& done,
                const std::function<records::Json()>& extra = nullptr);
  bool interrupted() const { return platform_.interrupt.requested(); }
  // The line an interruption ends with.
  void ReportInterruption();

  SMBusAdapter& adapter() { return *bus_; }
  const DeviceAccount& account() const { return account_; }
  ICal& cal() { return *cal_; }
  FormModel& form() { return cal_->Form(); }
  ConsolePlatform& platform() { return platform_; }
  Out& out() { return out_; }
  const Options& options() const { return o_; }
  void set_unit(const std::string& unit) { o_.station.unit = unit; }
  // How a reference was taken (a meter's readings), for the records of the runs that use it.
  void SetReferenceSource(const std::string& label, records::Json source) {
    sources_[label] = std::move(source);
  }
  std::int16_t target_address() const { return static_cast<std::int16_t>(o_.device.address7 << 1); }
  // The message boxes shown so far, and whether a confirmation was answered Cancel.
  const std::vector<std::string>& messages() const { return messages_; }
  bool cancelled() const { return cancelled_; }

 private:
  void Show();
  void PrintMessage(const std::string& text, const std::string& caption, Buttons b, Answer a);

  Options o_;
  ConsolePlatform platform_;
  Out out_;
  std::unique_ptr<BusLock> lock_;
  std::shared_ptr<sim::SimDevice> sim_;
  std::shared_ptr<RecordingAdapter> bus_;
  DeviceAccount account_;
  std::ofstream trace_;
  std::uint64_t trace_seq_ = 0;
  std::optional<Progress> progress_;
  std::unique_ptr<Plugin> plugin_;
  ICal* cal_ = nullptr;
  std::vector<std::string> messages_;
  std::map<std::string, records::Json> sources_;
  bool cancelled_ = false;
};

}  // namespace vx::cli
