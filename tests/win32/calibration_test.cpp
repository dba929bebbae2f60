// A whole calibration under Wine: the user's typing and clicks on the Win32 page, the device
// reached only through the adapter object called by name, the waits pumping the container's
// messages, and a miscalibrated device that reads true afterwards.
#include <cmath>
#include <cstdio>

#include "container/screenshot.h"
#include "win_fixture.h"

namespace vx::win::testing {

namespace {

// Samples the page while a run is in progress: the container's own timer fires only when the
// run's waits dispatch messages.
std::uint64_t ProcessCpu100ns() {
  FILETIME created, ended, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  auto v = [](FILETIME f) { return (std::uint64_t{f.dwHighDateTime} << 32) | f.dwLowDateTime; };
  return v(kernel) + v(user);
}

struct DuringRun {
  static inline HWND button = nullptr;
  static inline int samples = 0;
  static inline int enabled_samples = 0;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ++samples;
    if (IsWindowEnabled(button)) ++enabled_samples;
  }
};

}  // namespace

TEST(Container, MiscalibratedDeviceReadsTrueAfterOneClick) {
  Rig rig(Quick(sim::MiscalibratedState(5)));
  ASSERT_TRUE(rig.WriteAndShow());
  Host& h = *rig.host;
  PumpFor(700);
  const auto truth = rig.dev.state().truth;
  double tap = 0;
  for (int k = 0; k < 5; ++k) {
    tap += truth.cell_mV[static_cast<std::size_t>(k)];
    h.Type("txtVoltage(" + std::to_string(k) + ")", std::to_string(static_cast<int>(tap)));
  }
  h.Type("txtActualSystemVoltage", std::to_string(static_cast<int>(truth.system_mV)));
  h.Type("txtTemperature", "25");
  h.Type("txtCurrent", std::to_string(static_cast<int>(truth.current_mA)));
  for (const char* c : {"chkVoltageCal", "chkSystemVoltage", "chkTempCal", "chkCurrentCal"}) {
    h.Click(c);
    EXPECT_EQ(SendMessageA(h.Find(c), BM_GETCHECK, 0, 0), BST_CHECKED);
  }
  EXPECT_TRUE(!IsWindowVisible(h.Find("imgCalDoneBox")));

  MessageBoxAnswerer boxes;
  DuringRun::button = h.Find("btnCalibrate");
  DuringRun::samples = DuringRun::enabled_samples = 0;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, &DuringRun::Tick);
  const std::uint64_t cpu_before = ProcessCpu100ns();
  const DWORD wall_before = GetTickCount();
  h.Click("btnCalibrate");
  const DWORD wall_ms = GetTickCount() - wall_before;
  const std::uint64_t cpu_ms = (ProcessCpu100ns() - cpu_before) / 10000;
  KillTimer(nullptr, timer);
  std::printf("  calibration run: %lu ms wall, %llu ms CPU\n", static_cast<unsigned long>(wall_ms),
              static_cast<unsigned long long>(cpu_ms));
  // The run's waits sleep in the message wait instead of spinning.
  EXPECT_TRUE(wall_ms > 3000);
  EXPECT_TRUE(cpu_ms * 10 < wall_ms);
  for (const SeenBox& b : boxes.seen)
    EXPECT_EQ(b.text, "<no message expected>");
  EXPECT_TRUE(DuringRun::samples > 10);  // the waits kept the container's messages flowing
  EXPECT_EQ(DuringRun::enabled_samples, 0);
  EXPECT_TRUE(IsWindowEnabled(h.Find("btnCalibrate")));
  EXPECT_TRUE(IsWindowVisible(h.Find("imgCalDoneBox")));
  EXPECT_EQ(SendMessageA(h.Find("prgCal"), PBM_GETPOS, 0, 0), 100);
  EXPECT_TRUE(!rig.dev.InCalibrationMode());
  EXPECT_TRUE(!rig.dev.state().fets_on);

  PumpFor(700);
  tap = 0;
  for (int k = 0; k < 5; ++k) {
    tap += truth.cell_mV[static_cast<std::size_t>(k)];
    EXPECT_TRUE(
        std::fabs(std::stod(h.Text("txtCalMeasVoltage(" + std::to_string(k) + ")")) - tap) <= 1.0);
  }
  EXPECT_TRUE(std::fabs(std::stod(h.Text("txtCalMeasVoltage(5)")) - tap) <= 1.0);
  EXPECT_TRUE(std::fabs(std::stod(h.Text("txtMeasuredSystemVoltage")) - truth.system_mV) <= 1.0);
  EXPECT_TRUE(std::fabs(std::stod(h.Text("txtCalMeasTemperature")) - truth.temperature_C) <= 0.1);
  EXPECT_TRUE(std::fabs(std::stod(h.Text("txtCalMeasCurrent")) - truth.current_mA) <= 1.0);
  for (const auto& [name, c] : rig.adapter->calls()) {
    EXPECT_TRUE(c.all_by_reference);
    (void)name;
  }
  const auto& calls = rig.adapter->calls();
  EXPECT_TRUE(calls.count("WriteSMBusBlock") == 1 && calls.count("ReadSMBusBlock_") == 1 &&
              calls.count("Delay") == 1 && calls.count("WriteSMBusCommand") == 1);

  if (!options().screenshot.empty()) {
    EXPECT_TRUE(SaveWindowPng(h.ControlWindow(), options().screenshot));
  }
}

}  // namespace vx::win::testing
