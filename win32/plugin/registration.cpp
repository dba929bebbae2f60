// Self-registration: the class Cal under its CLSID (in-process server, apartment threading,
// ProgID, control, type library) and the type library itself.
#include "plugin/win.h"

#include <string>

#include "plugin/bstr.h"
#include "plugin/com_server.h"
#include "vx58420Cal_h.h"

namespace {

using vx::win::GuidText;

constexpr wchar_t kProgId[] = L"vx58420Cal.Cal";
// Component category "Controls".
constexpr wchar_t kCatidControl[] = L"{40FC6ED4-2438-11CF-A3DB-080036F12502}";

bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY k = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG r = RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

bool CreateKey(const std::wstring& key) {
  HKEY k = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(k);
  return true;
}

void DeleteTree(const std::wstring& key) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
}

HRESULT RemoveAll() {
  const std::wstring clsid = L"CLSID\\" + GuidText(CLSID_Cal);
  DeleteTree(clsid);
  DeleteTree(kProgId);
  // Removes HKCR\TypeLib\{LIBID}\1.1 for this DLL's bitness and the interface keys it
  // registered. A library that is not registered is already as unregistering leaves it.
  constexpr bool k64 = sizeof(void*) == 8;
  const std::wstring ours =
      L"TypeLib\\" + GuidText(LIBID_vx58420Cal) + L"\\1.1\\0\\" + (k64 ? L"win64" : L"win32");
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ours.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return S_OK;
  RegCloseKey(k);
  HRESULT hr =
      UnRegisterTypeLib(LIBID_vx58420Cal, 1, 1, LOCALE_NEUTRAL, k64 ? SYS_WIN64 : SYS_WIN32);
  return hr == TYPE_E_REGISTRYACCESS || SUCCEEDED(hr) ? S_OK : hr;
}

}  // namespace

namespace {

HRESULT RegisterAll() {
  std::wstring path = vx::win::ModulePath();
  ITypeLib* lib = vx::win::EmbeddedTypeLib();
  if (path.empty() || !lib) return SELFREG_E_TYPELIB;
  HRESULT hr = RegisterTypeLib(lib, path.data(), nullptr);
  if (FAILED(hr)) return SELFREG_E_TYPELIB;

  const std::wstring clsid = L"CLSID\\" + GuidText(CLSID_Cal);
  const std::wstring misc =
      std::to_wstring(OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                      OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST);
  bool ok = SetValue(clsid, nullptr, kProgId) &&
            SetValue(clsid + L"\\InprocServer32", nullptr, path) &&
            SetValue(clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
            SetValue(clsid + L"\\ProgID", nullptr, kProgId) &&
            SetValue(clsid + L"\\VersionIndependentProgID", nullptr, kProgId) &&
            CreateKey(clsid + L"\\Control") &&
            SetValue(clsid + L"\\TypeLib", nullptr, GuidText(LIBID_vx58420Cal)) &&
            SetValue(clsid + L"\\Version", nullptr, L"1.1") &&
            SetValue(clsid + L"\\MiscStatus", nullptr, L"0") &&
            SetValue(clsid + L"\\MiscStatus\\1", nullptr, misc) &&
            CreateKey(clsid + L"\\Implemented Categories\\" + kCatidControl) &&
            SetValue(kProgId, nullptr, kProgId) &&
            SetValue(std::wstring(kProgId) + L"\\CLSID", nullptr, GuidText(CLSID_Cal));
  if (!ok) {
    RemoveAll();  // nothing half-registered stays behind
    return SELFREG_E_CLASS;
  }
  return S_OK;
}

}  // namespace

extern "C" {

STDAPI DllRegisterServer() {
  try {
    return RegisterAll();
  } catch (...) {
    RemoveAll();
    return SELFREG_E_CLASS;
  }
}

STDAPI DllUnregisterServer() {
  try {
    return RemoveAll();
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

}  // extern "C"
