// A 2 s DelaySeconds on the command line's real-time platform; run it under /usr/bin/time to
// see the CPU it costs.
#include <cstdio>

#include "device/utils.h"
#include "platform/console_platform.h"

int main(int argc, char** argv) {
  float seconds = argc > 1 ? std::strtof(argv[1], nullptr) : 2.0f;
  vx::ConsolePlatform p;
  vx::TimePoint t0 = p.Now();
  vx::DelaySeconds(p, seconds);
  std::printf("waited %.6f s\n", std::chrono::duration<double>(p.Now() - t0).count());
  return 0;
}
