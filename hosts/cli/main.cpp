// vx58420cal: the calibration control without a window, for scripts and production lines.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "hosts/cli/app.h"
#include "instruments/meter.h"

int main(int argc, char** argv) {
  const int code = vx::cli::RunCommandLine(argc, argv);
  if (vx::instruments::MeterLeftBehind()) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
