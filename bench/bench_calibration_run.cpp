// A full calibrate-device run on the simulator in real time (every calibration ticked, the gain
// marker written), against the floor of the waits the protocol mandates: the same run in
// virtual time, where only the waits move the clock.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "control/cal.h"
#include "control/module.h"
#include "hosts/station/simple_container.h"
#include "platform/console_platform.h"
#include "sim/sim_device.h"
#include "sim/sim_state.h"

namespace {

double Cpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Outcome {
  double seconds;
  double cpu;
  bool done;
};

Outcome RunOnce(bool virtual_time) {
  vx::ResetThisThreadModule();
  vx::ConsolePlatform platform(virtual_time);
  vx::sim::SimState state = vx::sim::MiscalibratedState(5);  // no gain marker yet
  vx::SimpleContainer box(platform, std::make_shared<vx::sim::SimDevice>(platform, state));
  vx::Cal* cal = new vx::Cal();
  vx::PlaceAndShow(*cal, box, {0x16, "800.1.02", "/nonexistent", std::nullopt});
  vx::FormModel& f = cal->Form();
  f.Tick("tmrScan");
  const char* taps[] = {"2050", "4160", "6240", "8360", "10455"};
  for (int k = 0; k < 5; ++k)
    f.At("txtVoltage", k).SetText(taps[k]);
  f.At("txtActualSystemVoltage").SetText("12255");
  f.At("txtTemperature").SetText("25");
  f.At("txtCurrent").SetText("-500");
  for (const char* c :
       {"chkVoltageCal", "chkSystemVoltage", "chkTempCal", "chkCurrentCal", "chkCCOffset"}) {
    f.At(c).SetValue(1);
  }
  vx::TimePoint t0 = platform.Now();
  double cpu0 = Cpu();
  f.Click("btnCalibrate");
  Outcome o{std::chrono::duration<double>(platform.Now() - t0).count(), Cpu() - cpu0,
            f.At("imgCalDoneBox").visible()};
  cal->Release();
  return o;
}

}  // namespace

int main() {
  Outcome floor = RunOnce(true);
  Outcome real = RunOnce(false);
  double over_ms = (real.seconds - floor.seconds) * 1000.0;
  double goal_ms = floor.seconds * 10.0 + 20.0;  // 1 % + 20 ms
  std::printf("mandated waits (virtual run): %.3f s, done=%d\n", floor.seconds, floor.done);
  std::printf("real run:                     %.3f s, done=%d, cpu %.3f s (%.2f %% of a core)\n",
              real.seconds, real.done, real.cpu, 100.0 * real.cpu / real.seconds);
  std::printf("over the floor:               %.1f ms (goal at most %.1f ms) -> %s\n", over_ms,
              goal_ms, over_ms <= goal_ms ? "met" : "missed");
  return floor.done && real.done ? 0 : 1;
}
