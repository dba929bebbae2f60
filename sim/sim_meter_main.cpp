// The simulated meter as a program, for trying the guided flow by hand or with sigrok-cli:
//   vx58420-sim-meter [--error 1%] [--state FILE] POSITION_FILE
// prints its libsigrok address, then answers until killed. Each reading is the true voltage at the
// position named in POSITION_FILE (a fixture writes it), of the built-in simulated device or the
// one in a state file, with a little noise while the probes settle, and the meter's own error.
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/sim_meter.h"
#include "sim/sim_state.h"

int main(int argc, char** argv) {
  constexpr const char* kUsage =
      "usage: vx58420-sim-meter [--error PERCENT%] [--state FILE] POSITION_FILE\n"
      "A simulated SCPI bench meter (as libsigrok's scpi-dmm driver knows it) on the loopback\n"
      "interface. It prints its libsigrok address, then answers until SIGINT or SIGTERM: each\n"
      "reading is the true voltage, of a simulated device, at the probe position named in\n"
      "POSITION_FILE (a fixture program writes it).\n"
      "  --error 1%     the meter reads 1 % high (-0.5%: half a percent low)\n"
      "  --state FILE   the device is the one in this simulator state file, read again at each\n"
      "                 move of the probes (else a miscalibrated five-capacitor device)\n";
  std::string position, state;
  double error = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if ((a == "--error" || a == "--state") && i + 1 < argc) {
      const std::string v = argv[++i];
      if (a == "--state") {
        state = v;
        continue;
      }
      char* end = nullptr;
      const double pct = std::strtod(v.c_str(), &end);
      if (end == v.c_str() || std::string(end) != "%" || !(std::fabs(pct) < 50)) {
        std::fprintf(stderr, "vx58420-sim-meter: --error takes a percentage below 50, as 1%%\n");
        return 2;
      }
      error = pct / 100;
    } else if (position.empty() && a.rfind("--", 0) != 0) {
      position = a;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (position.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  vx::sim::Truth truth = vx::sim::MiscalibratedState(5).truth;
  if (!state.empty()) {
    try {
      truth = vx::sim::LoadStateFile(state).truth;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "vx58420-sim-meter: %s\n", e.what());
      return 2;
    }
  }
  vx::sim::SimMeter dmm;
  dmm.SetReadings(vx::sim::FixtureReadings(position, truth, 6, error, state));
  std::printf("%s\n", dmm.Address().c_str());
  std::fflush(stdout);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  int sig = 0;
  sigwait(&set, &sig);
  return 0;
}
