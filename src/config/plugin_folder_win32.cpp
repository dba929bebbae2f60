#include "config/plugin_folder.h"

#include <windows.h>

namespace vx {

std::string ModuleFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ModuleFolder), &self)) {
    return ".";
  }
  char path[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(self, path, static_cast<DWORD>(sizeof path));
  if (n == 0 || n >= sizeof path) return ".";
  std::string p(path, n);
  auto sep = p.find_last_of("\\/");
  if (sep == std::string::npos) return ".";
  return p.substr(0, sep);
}

}  // namespace vx
