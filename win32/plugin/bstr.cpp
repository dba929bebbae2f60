#include "plugin/bstr.h"

namespace vx::win {

std::string Narrow(const std::wstring& s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr,
                              nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::wstring Widen(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

std::string FromBstr(BSTR b) {
  if (!b) return {};
  return Narrow(std::wstring(b, SysStringLen(b)));
}

BSTR ToBstr(const std::string& s) {
  std::wstring w = Widen(s);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

bool AssignBstr(BSTR* slot, const std::string& s) {
  BSTR b = ToBstr(s);
  if (!b) return false;
  SysFreeString(*slot);
  *slot = b;
  return true;
}

std::wstring GuidText(REFGUID g) {
  wchar_t buf[64];
  int n = StringFromGUID2(g, buf, static_cast<int>(std::size(buf)));
  return n > 0 ? std::wstring(buf) : std::wstring();
}

}  // namespace vx::win
