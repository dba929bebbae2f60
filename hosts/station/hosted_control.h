// The control as a station hosts it: the plug-in found and loaded (the library named, else the
// one beside the program, else the registered one), the control created, placed in the one
// container that hands out the open device as its "Parent", and shown with the host's
// properties. Also where the control reads Config.ini, and what a host says about it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/mod_delays.h"
#include "control/cal_api.h"
#include "hosts/station/connection.h"
#include "hosts/station/plugin_loader.h"
#include "hosts/station/simple_container.h"

namespace vx {

class HostedControl {
 public:
  HostedControl(Platform& platform, Connection& device) : device_(device), site_(platform, {}) {}
  ~HostedControl();
  HostedControl(const HostedControl&) = delete;
  HostedControl& operator=(const HostedControl&) = delete;

  // Finds and loads the plug-in and creates its control; false with the reason in error.
  bool Load(const std::string& library, std::string& error);
  // A control the program made itself (programs that link the control); owns its reference.
  void Adopt(ICal* cal) { cal_ = cal; }
  bool loaded() const { return cal_ != nullptr; }
  ICal& cal() { return *cal_; }
  FormModel& form() { return cal_->Form(); }
  // The plug-in's file ("" for an adopted control).
  std::string library() const { return plugin_ ? plugin_->path() : ""; }

  // Writes the host's properties into the control and shows it (again): the control takes the
  // station's open device as its "Parent".
  void Show(const HostProperties& p);

 private:
  Connection& device_;
  SimpleContainer site_;
  std::unique_ptr<Plugin> plugin_;
  ICal* cal_ = nullptr;
};

// The folder the control reads Config.ini from: config_dir when given, else the plug-in's own.
std::string ConfigFolder(const std::string& config_dir, const std::string& library);
// One sentence per Config.ini value out of range, which the control replaced by its default:
// "DVMAC = 70000 does not fit 16 bits; its default 0 is used".
std::vector<std::string> ConfigWarnings(const std::string& folder, const std::string& target_info);
// Every setting Config.ini gives the control and the hosts ([Host] MaxCorrectionPct), with the
// section it came from ("" for its default).
std::vector<SettingSource> ConfigSettings(const std::string& folder,
                                          const std::string& target_info);

}  // namespace vx
