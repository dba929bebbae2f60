#include "hosts/cli/signals.h"

#include <csignal>

namespace vx::cli {

namespace {

InterruptRequest* g_request = nullptr;

extern "C" void OnStopSignal(int sig) {
  if (g_request) g_request->Request(sig);
}

}  // namespace

void CatchStopSignals(InterruptRequest& request) {
  g_request = &request;
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;  // output and file writes go on; waits end at their deadline
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    sigaction(sig, &sa, nullptr);
  // A reader that went away or a file size limit is a failed write, which the program stops
  // on as on a signal, not a death in the middle of a run.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace vx::cli
