// How the command line gives the page a user's values: a reference is checked to be a number
// that fits the page's box before it is typed, a check box is brought to a state by clicking
// it, and a reference given as "meter" is left for the meter flow.
#pragma once

#include <string>
#include <vector>

#include "form/form_model.h"
#include "hosts/cli/options.h"
#include "hosts/cli/session.h"

namespace vx::cli {

// A reference value "meter" is taken from the bench meter instead.
inline constexpr const char kFromMeter[] = "meter";

// Types the reference into its box, as given for this unit; false with the reason on stderr
// (naming the option).
bool TypeReference(Station& s, const std::string& key, const std::string& text,
                   const std::string& option);
// A reference given for a box: typed now, or, given as "meter", added to `metered` (which
// needs --meter). false with the reason on stderr.
bool GiveReference(Session& s, const std::string& key, const std::string& value,
                   const std::string& option, std::vector<std::string>& metered);
// Sets a check box to the wanted state the way a user does: by clicking it.
void SetTicked(FormModel& f, const std::string& key, bool ticked);

}  // namespace vx::cli
