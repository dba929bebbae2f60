// The four exports of the plug-in library, the class factory, and self-registration.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <new>

#include "control/cal.h"
#include "control/registration.h"

#define VX_EXPORT extern "C" __attribute__((visibility("default")))

namespace vx {

namespace {

class ClassFactory final : public IClassFactory {
 public:
  ClassFactory() { ++LiveObjects(); }
  ~ClassFactory() { --LiveObjects(); }

  HResult QueryInterface(const Guid& iid, void** ppv) override {
    if (!ppv) return kE_POINTER;
    *ppv = nullptr;
    if (!(iid == kIID_IClassFactory)) return kE_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IClassFactory*>(this);
    return kS_OK;
  }
  std::uint32_t AddRef() override { return ++refs_; }
  std::uint32_t Release() override {
    std::uint32_t n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HResult CreateInstance(void* outer, const Guid& iid, void** ppv) override {
    if (!ppv) return kE_POINTER;
    *ppv = nullptr;
    if (outer) return kCLASS_E_NOAGGREGATION;
    if (!(iid == kIID_Cal)) return kE_NOINTERFACE;
    try {
      *ppv = static_cast<ICal*>(new Cal());
      return kS_OK;
    } catch (...) {
      return kE_FAIL;
    }
  }
  HResult LockServer(bool lock) override {
    if (lock) {
      ++ServerLocks();
    } else if (ServerLocks() > 0) {
      --ServerLocks();
    }
    return kS_OK;
  }

 private:
  std::atomic<std::uint32_t> refs_{1};
};

std::string OwnLibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnLibraryPath), &info) == 0 || !info.dli_fname) return "";
  char resolved[PATH_MAX];
  if (!realpath(info.dli_fname, resolved)) return "";
  return resolved;
}

}  // namespace

}  // namespace vx

VX_EXPORT vx::HResult DllRegisterServer() {
  try {
    vx::Registration r;
    r.clsid = vx::GuidToString(vx::kCLSID_Cal);
    r.progid = vx::kProgID;
    r.library = vx::OwnLibraryPath();
    r.typelib_name = vx::kTypeLibName;
    r.typelib_version = std::to_string(vx::kTypeLibMajor) + "." + std::to_string(vx::kTypeLibMinor);
    r.typelib_description = vx::kTypeLibDescription;
    if (r.library.empty()) return vx::kSELFREG_E_CLASS;
    return vx::WriteRegistration(r) ? vx::kS_OK : vx::kSELFREG_E_CLASS;
  } catch (...) {
    return vx::kSELFREG_E_CLASS;
  }
}

VX_EXPORT vx::HResult DllUnregisterServer() {
  try {
    return vx::RemoveRegistration(vx::kProgID) ? vx::kS_OK : vx::kSELFREG_E_CLASS;
  } catch (...) {
    return vx::kSELFREG_E_CLASS;
  }
}

VX_EXPORT vx::HResult DllGetClassObject(const vx::Guid* clsid, const vx::Guid* iid, void** ppv) {
  if (!ppv) return vx::kE_POINTER;
  *ppv = nullptr;
  if (!clsid || !iid) return vx::kE_POINTER;
  if (!(*clsid == vx::kCLSID_Cal)) return vx::kCLASS_E_CLASSNOTAVAILABLE;
  try {
    auto* factory = new vx::ClassFactory();
    vx::HResult hr = factory->QueryInterface(*iid, ppv);
    factory->Release();
    return hr;
  } catch (...) {
    return vx::kE_FAIL;
  }
}

VX_EXPORT vx::HResult DllCanUnloadNow() {
  return vx::LiveObjects() == 0 && vx::ServerLocks() == 0 ? vx::kS_OK : vx::kS_FALSE;
}
