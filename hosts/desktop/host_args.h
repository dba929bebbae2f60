// The desktop host's command line, read before any window exists.
#pragma once

#include <QString>
#include <string>

#include "hosts/desktop/main_window.h"

namespace vx {

struct HostArgs {
  DesktopOptions o;
  QString shot_file;             // --screenshot: save the window after the first readings, quit
  bool measure_startup = false;  // --measure-startup: print the time to them, quit
};

// What ParseHostArgs returns when the program goes on; anything else is its exit code (help,
// version, a bad option), with what there was to say already said.
constexpr int kGoOn = -1;

int ParseHostArgs(int argc, char** argv, HostArgs& args);

// Says what went wrong with the program's name first, and returns the exit code given.
int Fail(const std::string& text, int code);

}  // namespace vx
