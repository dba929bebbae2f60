// The simulated meter as a program, for trying the guided flow by hand or with sigrok-cli:
//   vx58420-sim-meter POSITION_FILE
// prints its libsigrok spec, then answers until killed. Each reading is the true voltage at the
// position named in POSITION_FILE (a fixture writes it), of the built-in simulated device, with
// a little noise while the probes settle.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "sim/sim_meter.h"
#include "sim/sim_state.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vx58420-sim-meter POSITION_FILE\n");
    return 2;
  }
  const std::string position_file = argv[1];
  const auto truth = vx::sim::MiscalibratedState(5).truth;
  vx::sim::SimMeter dmm;
  std::string last;
  int since_move = 0;
  dmm.SetReadings([&] {
    std::string at;
    std::getline(std::ifstream(position_file), at);
    since_move = at == last ? since_move + 1 : 0;
    last = at;
    static const std::map<std::string, int> kTaps = {{"Capacitor 1", 1},
                                                     {"Capacitor 1 + 2", 2},
                                                     {"Capacitor 1 + 2 + 3", 3},
                                                     {"Capacitor 1 through 4", 4},
                                                     {"Capacitor 1 through 5", 5}};
    double mV = at == "actual system voltage" ? truth.system_mV : 0;
    auto tap = kTaps.find(at);
    for (int i = 0; tap != kTaps.end() && i < tap->second; ++i)
      mV += truth.cell_mV[static_cast<std::size_t>(i)];
    const double settling = since_move < 6 ? 3.0 / (since_move + 1) : 0.0;  // mV
    return (mV + (since_move % 2 ? settling : -settling)) / 1000;
  });
  std::printf("%s\n", dmm.Spec().c_str());
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
