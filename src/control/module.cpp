#include "control/module.h"

namespace vx {

namespace {
thread_local ModuleState g_module;
}

ModuleState& ThisThreadModule() {
  return g_module;
}
void ResetThisThreadModule() {
  g_module = ModuleState{};
}

}  // namespace vx
