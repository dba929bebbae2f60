#include "plugin/com_server.h"

#include <mutex>
#include <new>

#include "control/cal.h"
#include "plugin/cal_control.h"
#include "plugin/com_object.h"
#include "vx58420Cal_h.h"

namespace vx::win {

namespace {

HINSTANCE g_instance = nullptr;

class ClassFactory final : public ComObject<::IClassFactory> {
 public:
  ClassFactory() { ++LiveObjects(); }
  ~ClassFactory() override { --LiveObjects(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *ppv = static_cast<::IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* control = new (std::nothrow) CalControl();
    if (!control) return E_OUTOFMEMORY;
    HRESULT hr = control->QueryInterface(iid, ppv);
    control->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      ++ServerLocks();
    else
      --ServerLocks();
    return S_OK;
  }
};

}  // namespace

HINSTANCE ModuleInstance() {
  return g_instance;
}

std::wstring ModulePath() {
  wchar_t path[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(g_instance, path, static_cast<DWORD>(std::size(path)));
  return n == 0 || n >= std::size(path) ? std::wstring() : std::wstring(path, n);
}

ITypeLib* EmbeddedTypeLib() {
  // Loaded once and kept for the life of the process: releasing it from DllMain would call
  // into COM under the loader lock.
  static std::once_flag once;
  static ITypeLib* lib = nullptr;
  std::call_once(once, [] {
    if (FAILED(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &lib))) lib = nullptr;
  });
  return lib;
}

HRESULT TypeInfoOf(REFGUID guid, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  ITypeLib* lib = EmbeddedTypeLib();
  if (!lib) return TYPE_E_CANTLOADLIBRARY;
  return lib->GetTypeInfoOfGuid(guid, info);
}

}  // namespace vx::win

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) vx::win::g_instance = instance;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_Cal)) return CLASS_E_CLASSNOTAVAILABLE;
  // Module-level state (the adapter reference above all) lives per user-interface thread and
  // outlives the controls, as the page defines it; its code must stay loaded as long as any
  // thread may hold it. Once an object has been asked for, the DLL stays for the process.
  static const bool pinned = [] {
    HMODULE self = nullptr;
    return GetModuleHandleExW(
               GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
               reinterpret_cast<LPCWSTR>(&vx::win::ModuleInstance), &self) != 0;
  }();
  (void)pinned;
  auto* factory = new (std::nothrow) vx::win::ClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(iid, ppv);
  factory->Release();
  return hr;
}

STDAPI DllCanUnloadNow() {
  return vx::LiveObjects() == 0 && vx::ServerLocks() == 0 ? S_OK : S_FALSE;
}

}  // extern "C"
