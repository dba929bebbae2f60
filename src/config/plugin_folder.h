// Where Config.ini lives: the folder of the module that holds this code (the plug-in's shared
// library when it is loaded as one).
#pragma once

#include <string>

namespace vx {

// The folder of the module file that contains this function, without a trailing separator;
// "." when it cannot be found.
std::string ModuleFolder();

inline std::string ConfigPathIn(const std::string& folder) {
#ifdef _WIN32
  return folder + "\\Config.ini";
#else
  return folder + "/Config.ini";
#endif
}

}  // namespace vx
