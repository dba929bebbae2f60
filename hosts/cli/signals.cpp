#include "hosts/cli/signals.h"

#include <csignal>
#include <cstring>
#include <string>

namespace vx::cli {

namespace {

InterruptRequest* g_request = nullptr;

extern "C" void OnStopSignal(int sig) {
  if (g_request) g_request->Request(sig);
}

}  // namespace

std::string SignalName(int sig) {
  if (sig == kOutputFailed) return "a failed output";
  const char* abbrev = sig > 0 ? sigabbrev_np(sig) : nullptr;
  return abbrev ? std::string("SIG") + abbrev : "a signal";
}

void CatchStopSignals(InterruptRequest& request) {
  g_request = &request;
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;  // output and file writes go on; waits end at their deadline
  // Every signal whose default would end the program ends a run at its next safe point
  // instead: the device is never left in calibration mode with its FETs on.
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF})
    sigaction(sig, &sa, nullptr);
  // A reader that went away or a file size limit is a failed write, which the program stops
  // on as on a signal, not a death in the middle of a run.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace vx::cli
