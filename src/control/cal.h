// The control Cal: its host interface, its page, the show handling and the scan.
#pragma once

#include <atomic>

#include "control/cal_api.h"
#include "platform/console_platform.h"
#include "runs/page_host.h"

namespace vx {

// Live objects of the library (controls and class factories) and server locks, for
// DllCanUnloadNow.
std::atomic<int>& LiveObjects();
std::atomic<int>& ServerLocks();

class Cal final : public ICal, public PageHost {
 public:
  Cal();
  ~Cal();
  Cal(const Cal&) = delete;
  Cal& operator=(const Cal&) = delete;

  // ICal
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;
  void SetClientSite(IContainer* site) override;
  void OnShow() override;
  FormModel& Form() override { return form_; }
  void SetConfigFolder(const std::string& folder) override;
  std::string Caption() override;
  void TargetAddress(std::int16_t& nTargetAddr) override;
  void DVMAC(std::int16_t& nDVMAC) override;
  std::int16_t TargetAddress() override;
  void TargetInfo(std::string& sDevVer) override;
  std::int32_t ReadGGIniWithOverride(std::string& sTargetInfo, std::string& sKeyname,
                                     std::int32_t& nDefaultValue, std::string& sFilename) override;
  bool GetConfigSection(std::string& sDevVer, std::string& sDeviceConfigSection,
                        std::string& sVersionConfigSection) override;
  std::int32_t ReadNumberofConfiguredCapacitors() override;
  std::int32_t CalSystemVoltage() override;
  void PrintProperties() override;
  // What made the last ReadNumberofConfiguredCapacitors or CalSystemVoltage return E_FAIL
  // (empty when it did not), for hosts that raise a member's failure to their caller.
  const std::string& LastFailure() const { return failure_; }

  // PageHost
  CalFields& Fields() override { return f_; }
  ModuleState& Module() override;
  Platform& GetPlatform() override;
  void tmrScan_Timer() override;
  void DisableButtons() override;
  void EnableButtons() override;
  void DisableCalSelections() override;
  void EnableCalSelections() override;
  void DisableAllControls() override;
  void EnableAllControls() override;

 private:
  void InitializePlugin();
  void SetupPanel();
  void WireEvents();

  FormModel form_;
  CalFields f_;
  IContainer* site_ = nullptr;
  std::string failure_;
  ConsolePlatform fallback_platform_;  // silent, until the host gives the control a site
  std::atomic<std::uint32_t> refs_{1};
};

}  // namespace vx
