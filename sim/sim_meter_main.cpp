// The simulated meter as a program, for trying the guided flow by hand or with sigrok-cli:
//   vx58420-sim-meter POSITION_FILE
// prints its libsigrok address, then answers until killed. Each reading is the true voltage at the
// position named in POSITION_FILE (a fixture writes it), of the built-in simulated device, with
// a little noise while the probes settle.
#include <csignal>
#include <cstdio>
#include <string>

#include "sim/sim_meter.h"
#include "sim/sim_state.h"

int main(int argc, char** argv) {
  constexpr const char* kUsage =
      "usage: vx58420-sim-meter POSITION_FILE\n"
      "A simulated SCPI bench meter (as libsigrok's scpi-dmm driver knows it) on the loopback\n"
      "interface. It prints its libsigrok address, then answers until SIGINT or SIGTERM: each\n"
      "reading is the true voltage, of a simulated device, at the probe position named in\n"
      "POSITION_FILE (a fixture program writes it).\n";
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  vx::sim::SimMeter dmm;
  dmm.SetReadings(vx::sim::FixtureReadings(argv[1], vx::sim::MiscalibratedState(5).truth, 6));
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
