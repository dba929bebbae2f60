// One invocation of the command line: the platform, the device (simulator or bus), the
// optional trace, and for page commands the plug-in with its control in a console container.
#pragma once

#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "control/cal_api.h"
#include "hosts/common/plugin_loader.h"
#include "platform/console_platform.h"

namespace vx::sim {
class SimDevice;
}

namespace vx::cli {

struct Options {
  bool use_sim = true;
  std::string sim_state;  // load the simulator from here
  std::string bus;        // /dev/i2c-N or N
  int address7 = 0x0B;
  bool pec = false;
  std::string save_state;
  std::string trace;
  std::string config_dir;
  std::string target_info = "800.1.02";
  std::string plugin;
  bool json = false;
  bool yes = false;
  bool fast = false;  // virtual time (simulator only)
  // Creates the control instead of loading the plug-in (programs that link the control).
  std::function<ICal*()> make_cal;
};

class Session : public IContainer {
 public:
  explicit Session(Options o);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Opens the device; an exit code (0, or the reason with a message on stderr).
  int OpenDevice();
  // Loads the plug-in, creates the control and shows it; false with a message on stderr.
  bool ShowControl();
  // Writes the simulator's state if asked; false when that failed.
  bool Finish();

  Platform& AmbientPlatform() override { return platform_; }
  std::shared_ptr<SMBusAdapter> GetObjectProperty(const std::string& name) override;

  SMBusAdapter& adapter() { return *adapter_; }
  ICal& cal() { return *cal_; }
  FormModel& form() { return cal_->Form(); }
  ConsolePlatform& platform() { return platform_; }
  const Options& options() const { return o_; }
  std::int16_t target_address() const { return static_cast<std::int16_t>(o_.address7 << 1); }

 private:
  void Show();
  void ShowProgress(const Control& c);

  Options o_;
  ConsolePlatform platform_;
  std::shared_ptr<sim::SimDevice> sim_;
  std::shared_ptr<SMBusAdapter> adapter_;
  std::ofstream trace_;
  std::unique_ptr<Plugin> plugin_;
  ICal* cal_ = nullptr;
  bool progress_on_terminal_ = false;
  bool progress_line_open_ = false;
};

}  // namespace vx::cli
