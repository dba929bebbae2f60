#include "control/registration.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "config/ini_reader.h"
#include "control/cal_api.h"

namespace vx {

std::string GuidToString(const Guid& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1,
                g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4],
                g.data4[5], g.data4[6], g.data4[7]);
  return buf;
}

std::string RegistryFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  return base + "/vx58420/registry";
}

std::string RegistrationPath(const std::string& progid) {
  return RegistryFolder() + "/" + progid + ".reg";
}

bool WriteRegistration(const Registration& r) {
  std::error_code ec;
  std::filesystem::create_directories(RegistryFolder(), ec);
  if (ec) return false;
  std::string path = RegistrationPath(r.progid);
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::trunc);
    if (!out) return false;
    out << "[Class]\nCLSID=" << r.clsid << "\nProgID=" << r.progid << "\nInprocServer=" << r.library
        << "\n[TypeLib]\nName=" << r.typelib_name << "\nVersion=" << r.typelib_version
        << "\nDescription=" << r.typelib_description << "\n";
    // The record is still in the stream's buffer: a full disk only shows when it is written.
    out.close();
    if (!out) return false;
  }
  std::filesystem::rename(tmp, path, ec);  // a reader never sees half a record
  return !ec;
}

bool RemoveRegistration(const std::string& progid) {
  std::error_code ec;
  std::filesystem::remove(RegistrationPath(progid), ec);
  return !ec;
}

std::optional<Registration> ReadRegistration(const std::string& progid) {
  std::string path = RegistrationPath(progid);
  auto text = [&](const char* section, const char* key) {
    return GetPrivateProfileText(section, key, path).value_or("");
  };
  Registration r;
  r.clsid = text("Class", "CLSID");
  r.progid = text("Class", "ProgID");
  r.library = text("Class", "InprocServer");
  r.typelib_name = text("TypeLib", "Name");
  r.typelib_version = text("TypeLib", "Version");
  r.typelib_description = text("TypeLib", "Description");
  if (r.clsid.empty() || r.library.empty()) return std::nullopt;
  return r;
}

}  // namespace vx
