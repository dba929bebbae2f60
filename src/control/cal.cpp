#include "control/cal.h"

#include <exception>
#include <string>

#include "config/mod_delays.h"
#include "config/plugin_folder.h"
#include "control/module.h"
#include "control/page_layout.h"
#include "control/panel.h"
#include "control/scan.h"
#include "runs/calibrate_device.h"
#include "runs/capacitor_count.h"
#include "runs/separate_runs.h"
#include "runs/system_voltage.h"
#include "version.h"

namespace vx {

namespace {

// Event handlers and host calls run inside the host's event loop: nothing may escape them.
template <typename Fn>
void Guarded(Fn&& fn) noexcept {
  try {
    fn();
  } catch (...) {
  }
}

void Keep(std::string& failure, const char* what) noexcept {
  try {
    failure = what;
  } catch (...) {  // out of memory: the E_FAIL alone
  }
}

// Host calls whose run-time failure would be raised to the caller report E_FAIL instead, and
// keep what failed for a host that raises it.
template <typename Fn>
std::int32_t GuardedResult(std::string& failure, Fn&& fn) noexcept {
  failure.clear();
  try {
    return fn();
  } catch (const std::exception& e) {
    Keep(failure, e.what());  // the text lives only as long as this handler
  } catch (...) {
    Keep(failure, "Unexpected error");
  }
  return kE_FAIL;
}

}  // namespace

std::atomic<int>& LiveObjects() {
  static std::atomic<int> n{0};
  return n;
}

std::atomic<int>& ServerLocks() {
  static std::atomic<int> n{0};
  return n;
}

Cal::Cal() {
  ++LiveObjects();
  BuildCalibrationPage(form_);
  WireEvents();
}

Cal::~Cal() {
  --LiveObjects();
}

std::uint32_t Cal::AddRef() {
  return ++refs_;
}

std::uint32_t Cal::Release() {
  std::uint32_t n = --refs_;
  if (n == 0) delete this;
  return n;
}

void Cal::WireEvents() {
  form_.SetHandler("tmrScan", [this] { Guarded([&] { tmrScan_Timer(); }); });
  form_.SetHandler("OptionUse", [this] { f_.bChargeFetOn = kVTrue; });
  form_.SetHandler("OptionByPass", [this] { f_.bChargeFetOn = kVFalse; });
  form_.SetHandler("optUseVFet", [this] { f_.bVFetOn = kVTrue; });
  form_.SetHandler("optBypassVFet", [this] { f_.bVFetOn = kVFalse; });
  form_.SetHandler("btnCalibrate", [this] { Guarded([&] { btnCalibrate_Click(*this); }); });
  form_.SetHandler("btnCalPackVolt", [this] { Guarded([&] { btnCalPackVolt_Click(*this); }); });
  form_.SetHandler("btnBoardOffsett", [this] { Guarded([&] { btnBoardOffsett_Click(*this); }); });
  form_.SetHandler("cmdSWBrdOffsetCal",
                   [this] { Guarded([&] { cmdSWBrdOffsetCal_Click(*this); }); });
}

void Cal::SetClientSite(IContainer* site) {
  site_ = site;
}

ModuleState& Cal::Module() {
  return ThisThreadModule();
}

Platform& Cal::GetPlatform() {
  if (site_) {
    try {
      return site_->AmbientPlatform();
    } catch (...) {
    }
  }
  return fallback_platform_;
}

void Cal::OnShow() {
  Guarded([&] { InitializePlugin(); });
}

void Cal::InitializePlugin() {
  if (!site_) return;
  std::shared_ptr<SMBusAdapter> parent;
  try {
    parent = site_->GetObjectProperty("Parent");
  } catch (...) {
    return;  // a failed read leaves the earlier adapter and skips the set-up
  }
  if (!parent) return;  // a container without "Parent" does the same
  Module().adapter = std::move(parent);
  SetupPanel();
}

void Cal::SetupPanel() {
  // No trap of its own: a failure ends the set-up at the failing step (the caller catches).
  form_.At("imgCalDoneBox").SetVisible(false);
  form_.At("tmrScan").SetEnabled(true);
  f_.bChargeFetOn = kVTrue;
  f_.bVFetOn = kVFalse;
  ModuleState& m = Module();
  std::string folder = m.config_folder.empty() ? ModuleFolder() : m.config_folder;
  ReadConfigIni(m.settings, f_.sDevVer, ConfigPathIn(folder));
  f_.nDVMAC = m.settings.DVMAC;
  form_.At("lblMainHelp")
      .SetText(
          "The number of configured capacitors is read from Operation Cfg parameter in data "
          "flash. Actual voltage entry is disabled for capacitors not used. Actual stack voltage "
          "will use top configured actual capacitor voltage. ");
  vx::ReadNumberofConfiguredCapacitors(*this);
  form_.At("lblVersion")
      .SetText("Version: " + std::to_string(VX_VERSION_MAJOR) + "." +
               std::to_string(VX_VERSION_MINOR) + "." + std::to_string(VX_VERSION_PATCH));
  std::int16_t last = 0;
  for (int i = 0; i <= 5; ++i) {
    Control& box = form_.At("txtVoltage", i);
    if (i + 1 <= f_.nCapCount) {
      box.SetText(std::to_string(2100 * (i + 1)));
      last = static_cast<std::int16_t>(2100 * (i + 1));
    } else {
      box.SetText(std::to_string(last));
      box.SetEnabled(false);
      form_.At("txtActualSystemVoltage").SetText(std::to_string(last + 1800));
    }
  }
  form_.At("Frame1", 4).SetVisible(false);
  form_.At("Frame1", 3).SetVisible(true);
}

void Cal::SetConfigFolder(const std::string& folder) {
  Guarded([&] { Module().config_folder = folder; });
}

std::string Cal::Caption() {
  return "Supercapacitor Calibration";
}
void Cal::TargetAddress(std::int16_t& nTargetAddr) {
  f_.nTargetAddr = nTargetAddr;
}
void Cal::DVMAC(std::int16_t& nDVMAC) {
  f_.nDVMAC = nDVMAC;
}
std::int16_t Cal::TargetAddress() {
  return f_.nTargetAddr;
}

void Cal::TargetInfo(std::string& sDevVer) {
  Guarded([&] { f_.sDevVer = sDevVer; });
}

bool Cal::GetConfigSection(std::string& sDevVer, std::string& sDeviceConfigSection,
                           std::string& sVersionConfigSection) {
  try {
    auto dot = sDevVer.find('.');
    if (dot == std::string::npos) return false;
    sDeviceConfigSection = sDevVer.substr(0, dot);
    sVersionConfigSection = VersionSectionName(sDevVer);
    return true;
  } catch (...) {
    return false;
  }
}

std::int32_t Cal::ReadGGIniWithOverride(std::string& sTargetInfo, std::string& sKeyname,
                                        std::int32_t& nDefaultValue, std::string& sFilename) {
  try {
    std::string dev, ver;
    if (!GetConfigSection(sTargetInfo, dev, ver)) return nDefaultValue;
    return ReadIniWithOverride(dev, ver, sKeyname, nDefaultValue, sFilename);
  } catch (...) {
    return nDefaultValue;
  }
}

std::int32_t Cal::ReadNumberofConfiguredCapacitors() {
  return GuardedResult(failure_, [&] { return vx::ReadNumberofConfiguredCapacitors(*this); });
}

std::int32_t Cal::CalSystemVoltage() {
  return GuardedResult(failure_, [&] { return vx::CalSystemVoltage(*this); });
}

void Cal::PrintProperties() {
  Guarded([&] {
    Platform& p = GetPlatform();
    p.MessageBox("Target Address is: " + std::to_string(f_.nTargetAddr), "", Buttons::kOk);
    p.MessageBox("DVMAC from parent is:" + std::to_string(f_.nDVMAC), "", Buttons::kOk);
  });
}

void Cal::tmrScan_Timer() {
  ScanTick(form_, Module().adapter.get(), f_.nTargetAddr);
}

void Cal::DisableButtons() {
  vx::DisableButtons(form_);
}
void Cal::EnableButtons() {
  vx::EnableButtons(form_);
}
void Cal::DisableCalSelections() {
  vx::DisableCalSelections(form_);
}
void Cal::EnableCalSelections() {
  vx::EnableCalSelections(form_);
}
void Cal::DisableAllControls() {
  DisableButtons();
  DisableCalSelections();
}
void Cal::EnableAllControls() {
  EnableCalSelections();
  EnableButtons();
}

}  // namespace vx
