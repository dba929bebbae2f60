#include "config/plugin_folder.h"

#include <dlfcn.h>

namespace vx {

std::string ModuleFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) == 0 || info.dli_fname == nullptr) {
    return ".";
  }
  std::string path = info.dli_fname;
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace vx
