// How an operation of a station ended, described once: the command line's lines, the window's
// verdict, status and dialogs are formats of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "json/json.h"

namespace vx {

struct Outcome {
  std::string run;      // how the run's end is said: "Calibration", "Restore"
  std::string verdict;  // done, out of limits, refused, failed, interrupted
  bool done = false;    // the run did what it was for (also when the unit is out of limits)
  bool started = true;  // false: refused before anything of it began (nothing recorded)
  // For an interruption: whether the stop cut the run short (else it came once the run had
  // ended, or before it began).
  bool cut_short = false;
  std::vector<std::string> reasons;        // why it was refused or failed, each a sentence
  std::vector<std::string> beyond_limits;  // "System voltage 1 (at most 0)"
  std::vector<std::string> took_effect;    // what it changed although it did not finish
  std::string account;                     // what the device saw, in a sentence
  std::string said;                        // a run's own sentence ("Restored and verified: ...")
  std::string returned;     // a host method that failed: "CalSystemVoltage returned 1"
  Json limits;              // the record's verdict on its limits
  Json residuals;           // each calibrated reading after the run minus its reference, by name
  Json readings;            // the page's readings after the run
  std::int64_t record = 0;  // the run's record, 0 when none was stored
  std::string unstored;     // where the record was kept when the store failed
  std::vector<std::string> warnings;  // said to the user on the way (Warn)
  Json details;                       // what the run kind adds (a restore's verification)

  // One paragraph: "Calibration done. The unit is outside its limits: System voltage 1 (at most
  // 0). ..." `undo` says how this host brings back a record's data flash, with {} for its id
  // ("vx58420cal restore {} brings back the data flash from before it.").
  std::string Sentence(const std::string& undo = "") const;
  // The sentence with what a host shows after it: what a failed host method returned, the
  // record the run left, where its record went when the store could not take it.
  std::string Said(const std::string& undo = "") const;
  Json ToJson() const;
  // What an interrupted run had done: "data flash was written once; calibration mode was left;
  // FETs off; the rest of the run was not done; it changed: ...", with `undo` as above.
  std::string Interruption(const std::string& undo = "") const;
};

}  // namespace vx
