// What the hosts check before a run of the page starts, so that no reference reaches the page
// unless a person or an instrument gave it for this unit and it is plausible against the
// reading it corrects. The page's own checks then run unchanged.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "form/form_model.h"
#include "hosts/station/run_kinds.h"

namespace vx {

struct GuardSettings {
  // How far a voltage, the system voltage or the current may be from the page's reading.
  double max_correction_pct = 10;
  // How far the temperature may be: the page's own range of correction.
  double max_temperature_correction = 12.7;
};

// The settings from Config.ini's [Host] section (MaxCorrectionPct), else the defaults.
GuardSettings ReadGuardSettings(const std::string& config_path);

// The references of a run that must not reach the page, each in a sentence naming the reference
// as the page labels it, the value, the reading and what fits: a value too far from the reading
// (or of the other sign, or not above 0 where the device needs it above 0), a reading the page
// could not take. The page's measured boxes are read as they stand (take a scan first).
std::vector<std::string> Implausible(FormModel& f, const RunKind& run, const GuardSettings& g);

// The references of a run that nobody gave for this unit: the boxes whose text is not what this
// session typed into them (the page's own example values, say). given: key -> text typed.
std::vector<std::string> Untyped(FormModel& f, const RunKind& run,
                                 const std::map<std::string, std::string>& given);

}  // namespace vx
