// The runs a station records: the page's calibrations (by the button or host method that
// starts them and the done mark that says they succeeded) and the host's own runs that write
// the device (raw transfers, a restore). The command line, script mode, the desktop, records
// and limits all take a run's names and its effects from this one table.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "control/cal_api.h"

namespace vx {

struct RunKind {
  std::string_view id = {};         // as records name it: "calibrate"
  std::string_view trigger = {};    // the page's button or the host method; "" for a host's own run
  std::string_view done_mark = {};  // the page's done mark; "" when the host judges the run itself
  std::string_view title = {};      // while it runs: "Calibrate device"
  std::string_view outcome = {};    // how its end is said: "Calibration" done / not done
  std::string_view box = {};        // the one box a run other than calibrate-device takes, or ""
  // Its references are those of the calibrations ticked on the page (calibrate-device).
  bool from_ticked = false;
  bool separate = false;       // its button sits in the frame the page hides at every show
  bool hidden_button = false;  // ... and is itself hidden there
  // The host method that starts it, which leaves the done mark as it is; null for a button.
  std::int32_t (ICal::*method)() = nullptr;
};

std::span<const RunKind> RunKinds();
// nullptr when no run has that id, or no run starts at that button or method.
const RunKind* RunNamed(std::string_view id);
const RunKind* RunStartedBy(std::string_view trigger);

}  // namespace vx
