// How hosts load the plug-in: find its registration (or take a path), open the library,
// get the class factory through DllGetClassObject and create Cal.
#pragma once

#include <memory>
#include <string>

#include "control/cal_api.h"

namespace vx {

class Plugin {
 public:
  // Opens the library at path, or the registered one when path is empty. On failure returns
  // nullptr and says why in error.
  static std::unique_ptr<Plugin> Open(const std::string& path, std::string& error);
  // The plug-in a host uses: the library named, else the one beside the program
  // (DefaultPluginPath), else the registered one.
  static std::unique_ptr<Plugin> Find(const std::string& library, std::string& error);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // A new control with one reference, or nullptr (error says why).
  ICal* CreateCal(std::string& error);
  HResult Register();
  HResult Unregister();
  HResult CanUnloadNow();
  // Closes the library if it says it can be unloaded; returns whether it was closed.
  bool Unload();
  // The library's file.
  const std::string& path() const { return path_; }

 private:
  Plugin() = default;
  void* handle_ = nullptr;
  std::string path_;
  DllRegisterServerFn register_ = nullptr;
  DllUnregisterServerFn unregister_ = nullptr;
  DllGetClassObjectFn get_class_object_ = nullptr;
  DllCanUnloadNowFn can_unload_ = nullptr;
};

// The library next to a host executable's build tree, for hosts started without a
// registration: $ORIGIN/../../src/control/libvx58420Cal.so and $ORIGIN/libvx58420Cal.so.
std::string DefaultPluginPath();

}  // namespace vx
