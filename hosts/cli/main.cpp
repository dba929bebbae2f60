// vx58420cal: the calibration control without a window, for scripts and production lines.
#include "hosts/cli/app.h"

int main(int argc, char** argv) {
  return vx::cli::RunCommandLine(argc, argv);
}
