#include "plugin/automation.h"

#include <algorithm>

namespace vx::win {

namespace {

VARIANT Typed(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = vt;
  return v;
}

// Runs fn(data, count) on the array's bytes, count limited to n.
template <typename Fn>
std::size_t WithBytes(SAFEARRAY* sa, std::size_t n, Fn&& fn) {
  if (!sa || SafeArrayGetDim(sa) != 1 || SafeArrayGetElemsize(sa) != 1) return 0;
  LONG lo = 0, hi = -1;
  SafeArrayGetLBound(sa, 1, &lo);
  SafeArrayGetUBound(sa, 1, &hi);
  const auto have = static_cast<std::size_t>(std::max<LONG>(0, hi - lo + 1));
  const std::size_t count = std::min(have, n);
  void* data = nullptr;
  if (count == 0 || FAILED(SafeArrayAccessData(sa, &data))) return 0;
  fn(static_cast<std::uint8_t*>(data), count);
  SafeArrayUnaccessData(sa);
  return count;
}

}  // namespace

VARIANT ByRef(BYTE* p) {
  VARIANT v = Typed(VT_BYREF | VT_UI1);
  V_UI1REF(&v) = p;
  return v;
}

VARIANT ByRef(SHORT* p) {
  VARIANT v = Typed(VT_BYREF | VT_I2);
  V_I2REF(&v) = p;
  return v;
}

VARIANT ByRef(LONG* p) {
  VARIANT v = Typed(VT_BYREF | VT_I4);
  V_I4REF(&v) = p;
  return v;
}

VARIANT ByRef(BSTR* p) {
  VARIANT v = Typed(VT_BYREF | VT_BSTR);
  V_BSTRREF(&v) = p;
  return v;
}

VARIANT ByRef(SAFEARRAY** p) {
  VARIANT v = Typed(VT_BYREF | VT_ARRAY | VT_UI1);
  V_ARRAYREF(&v) = p;
  return v;
}

VARIANT I2Value(SHORT x) {
  VARIANT v = Typed(VT_I2);
  V_I2(&v) = x;
  return v;
}

VARIANT I4Value(LONG x) {
  VARIANT v = Typed(VT_I4);
  V_I4(&v) = x;
  return v;
}

std::size_t CopyToArray(SAFEARRAY* sa, std::span<const std::uint8_t> src) {
  return WithBytes(sa, src.size(),
                   [&](std::uint8_t* data, std::size_t n) { std::copy_n(src.data(), n, data); });
}

std::size_t CopyFromArray(SAFEARRAY* sa, std::span<std::uint8_t> dst) {
  return WithBytes(sa, dst.size(),
                   [&](std::uint8_t* data, std::size_t n) { std::copy_n(data, n, dst.data()); });
}

SAFEARRAY* ByteArrayOf(const VARIANT& v) {
  if (V_VT(&v) == (VT_BYREF | VT_ARRAY | VT_UI1)) return *V_ARRAYREF(&v);
  if (V_VT(&v) == (VT_ARRAY | VT_UI1)) return V_ARRAY(&v);
  return nullptr;
}

}  // namespace vx::win
