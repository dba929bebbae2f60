#include "win_fixture.h"

#include <fstream>

#include "plugin/win.h"
#include "vx58420Cal_h.h"

namespace vx::win::testing {

std::wstring RegisteredDllPath() {
  std::wstring key = L"CLSID\\" + GuidText(CLSID_Cal) + L"\\InprocServer32";
  wchar_t buf[MAX_PATH * 2];
  DWORD size = sizeof buf;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buf, &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return buf;
}

std::string RegisteredDllFolder() {
  std::wstring p = RegisteredDllPath();
  auto sep = p.find_last_of(L"\\/");
  return Narrow(p.substr(0, sep == std::wstring::npos ? 0 : sep));
}

ConfigBesideDll::ConfigBesideDll(const std::string& text)
    : path_(RegisteredDllFolder() + "\\Config.ini") {
  std::ofstream(path_, std::ios::binary) << text;
}

ConfigBesideDll::~ConfigBesideDll() {
  DeleteFileA(path_.c_str());
}

sim::SimState Quick(sim::SimState s) {
  s.busy_ms = {300, 300, 300, 300, 300};
  return s;
}

Rig::Rig(sim::SimState state)
    : adapter(new AdapterObject(std::move(state))), dev(adapter->device()) {
  host = std::make_unique<Host>(L"vx58420Cal.Cal", adapter);
}

Rig::~Rig() {
  host.reset();
  adapter->Release();
}

bool Rig::WriteAndShow(short dvmac) {
  if (!host->ok()) return false;
  Var info;
  V_VT(&info.v) = VT_BSTR;
  V_BSTR(&info.v) = SysAllocString(L"800.1.02");
  return SUCCEEDED(host->Put(L"TargetAddress", I2Value(0x16))) &&
         SUCCEEDED(host->Put(L"DVMAC", I2Value(dvmac))) &&
         SUCCEEDED(host->Put(L"TargetInfo", info.v)) && SUCCEEDED(host->Show());
}

HRESULT CallDllCanUnloadNow() {
  HMODULE m = GetModuleHandleA("vx58420Cal.dll");
  if (!m) return E_UNEXPECTED;
  auto fn = reinterpret_cast<HRESULT(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(m, "DllCanUnloadNow")));
  return fn ? fn() : E_UNEXPECTED;
}

}  // namespace vx::win::testing
