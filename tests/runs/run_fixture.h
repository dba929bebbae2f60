// A shown control on a simulated device whose calibrations take little device time.
#pragma once

#include "control/page_fixture.h"
#include "page_at_rest.h"
#include "runs/calibrate_device.h"
#include "runs/separate_runs.h"
#include "runs/system_voltage.h"
#include "traffic.h"

namespace vx::testing {

inline sim::SimState QuickState(sim::SimState s) {
  s.busy_ms = {600, 600, 600, 600, 600};
  return s;
}

class RunTest : public PageTest {
 protected:
  explicit RunTest(sim::SimState s = sim::DefaultState(5)) : PageTest(QuickState(std::move(s))) {}
  void SetUp() override {
    ShowFresh();
    form().Tick("tmrScan");  // the page shows live readings before the user clicks
    dev().ClearLog();
  }
  // The page shown afresh on the same device, out of calibration mode, with nothing selected:
  // for the next case of a table (a show keeps the selections and the typed values).
  void Again() {
    dev().ClearFaults();
    dev().on_transfer = nullptr;
    if (dev().InCalibrationMode()) dev().WriteSMBusCommand(0x73, 0x16);
    for (const char* c :
         {"chkVoltageCal", "chkSystemVoltage", "chkTempCal", "chkCurrentCal", "chkCCOffset"}) {
      At(c).SetValue(0);
    }
    SetUp();
    platform().TakeMessages();
  }
  void Tick(const char* check_box) { At(check_box).SetValue(1); }
  void Calibrate() { ASSERT_TRUE(form().Click("btnCalibrate")); }
  bool Sent(int command) {
    for (const auto& t : dev().log()) {
      if (t.cmd == command && IsWrite(t.method)) {
        return true;
      }
    }
    return false;
  }
  int Count(int command) {
    int n = 0;
    for (const auto& t : dev().log())
      n += t.cmd == command;
    return n;
  }
  void ExpectIdlePanel() { EXPECT_TRUE(PageAtRest(form())); }
  std::vector<std::pair<std::string, std::string>> Messages() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& m : platform().messages())
      out.emplace_back(m.text, m.caption);
    return out;
  }
};

}  // namespace vx::testing
