// `config`: the settings the plug-in reads from Config.ini for a target info, each with the
// section it came from, and the values it refused. The runs warn about refused values too.
#pragma once

#include "hosts/cli/session.h"

namespace vx::cli {

int ConfigCommand(const Options& o);
// One warning line per Config.ini value that was out of range and replaced by its default.
void WarnOutOfRange(Session& s);

}  // namespace vx::cli
