// The per-user registration record of the control class: a small file of our own that names
// the class id, the ProgID, the library and the type library.
#pragma once

#include <optional>
#include <string>

namespace vx {

struct Registration {
  std::string clsid;
  std::string progid;
  std::string library;  // absolute path of the shared library
  std::string typelib_name;
  std::string typelib_version;  // "1.1"
  std::string typelib_description;
};

// $XDG_CONFIG_HOME/vx58420/registry, or ~/.config/vx58420/registry.
std::string RegistryFolder();
std::string RegistrationPath(const std::string& progid);

bool WriteRegistration(const Registration& r);
bool RemoveRegistration(const std::string& progid);
std::optional<Registration> ReadRegistration(const std::string& progid);

}  // namespace vx
