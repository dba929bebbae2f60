#include "hosts/station/plugin_loader.h"

#include <dlfcn.h>

#include <filesystem>

#include "control/registration.h"
#include "platform/program_folder.h"

namespace vx {

std::unique_ptr<Plugin> Plugin::Open(const std::string& path, std::string& error) {
  std::string lib = path;
  if (lib.empty()) {
    auto reg = ReadRegistration(kProgID);
    if (!reg) {
      error = "the plug-in " + std::string(kProgID) + " is not registered (" +
              RegistrationPath(kProgID) + ")";
      return nullptr;
    }
    if (reg->clsid != GuidToString(kCLSID_Cal)) {
      error = "the registration of " + std::string(kProgID) + " names another class id";
      return nullptr;
    }
    lib = reg->library;
  }
  void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* why = dlerror();
    error = "cannot open " + lib + ": " + (why ? why : "unknown error");
    return nullptr;
  }
  std::unique_ptr<Plugin> p(new Plugin());
  p->handle_ = h;
  p->path_ = lib;
  p->register_ = reinterpret_cast<DllRegisterServerFn>(dlsym(h, "DllRegisterServer"));
  p->unregister_ = reinterpret_cast<DllUnregisterServerFn>(dlsym(h, "DllUnregisterServer"));
  p->get_class_object_ = reinterpret_cast<DllGetClassObjectFn>(dlsym(h, "DllGetClassObject"));
  p->can_unload_ = reinterpret_cast<DllCanUnloadNowFn>(dlsym(h, "DllCanUnloadNow"));
  if (!p->register_ || !p->unregister_ || !p->get_class_object_ || !p->can_unload_) {
    error = lib + " does not export the four entry points of a control library";
    return nullptr;  // the destructor closes the handle
  }
  return p;
}

std::unique_ptr<Plugin> Plugin::Find(const std::string& library, std::string& error) {
  if (!library.empty()) return Open(library, error);
  auto p = Open(DefaultPluginPath(), error);
  return p ? std::move(p) : Open("", error);
}

Plugin::~Plugin() {
  // A library with live objects stays loaded: closing it would pull their code away.
  if (handle_ && (!can_unload_ || can_unload_() == kS_OK)) dlclose(handle_);
}

ICal* Plugin::CreateCal(std::string& error) {
  void* pv = nullptr;
  HResult hr = get_class_object_(&kCLSID_Cal, &kIID_IClassFactory, &pv);
  if (hr != kS_OK || !pv) {
    error = "DllGetClassObject failed";
    return nullptr;
  }
  auto* factory = static_cast<IClassFactory*>(pv);
  void* obj = nullptr;
  hr = factory->CreateInstance(nullptr, kIID_Cal, &obj);
  factory->Release();
  if (hr != kS_OK || !obj) {
    error = "creating Cal failed";
    return nullptr;
  }
  return static_cast<ICal*>(obj);
}

HResult Plugin::Register() {
  return register_();
}
HResult Plugin::Unregister() {
  return unregister_();
}
HResult Plugin::CanUnloadNow() {
  return can_unload_();
}

bool Plugin::Unload() {
  if (!handle_ || can_unload_() != kS_OK) return false;
  dlclose(handle_);
  handle_ = nullptr;
  return true;
}

std::string DefaultPluginPath() {
  const auto folder = ProgramFolder();
  if (folder.empty()) return "libvx58420Cal.so";
  for (auto candidate : {folder / "libvx58420Cal.so", folder / "../../src/control/libvx58420Cal.so",
                         folder / "../src/control/libvx58420Cal.so"}) {
    std::error_code ec;
    if (std::filesystem::exists(candidate, ec)) {
      return std::filesystem::weakly_canonical(candidate, ec).string();
    }
  }
  return "libvx58420Cal.so";
}

}  // namespace vx
