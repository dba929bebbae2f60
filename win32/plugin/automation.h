// Small pieces of automation that the control and its hosts share: VARIANTs that point at a
// caller's variable (by reference, as late-bound calls pass arguments) and copies between
// byte spans and one-dimensional byte SAFEARRAYs.
#pragma once

#include <cstdint>
#include <span>

#include "plugin/win.h"

namespace vx::win {

VARIANT ByRef(BYTE* p);
VARIANT ByRef(SHORT* p);
VARIANT ByRef(LONG* p);
VARIANT ByRef(BSTR* p);
VARIANT ByRef(SAFEARRAY** p);  // a byte array
VARIANT I2Value(SHORT v);
VARIANT I4Value(LONG v);

// As many bytes as both sides hold, from the array's lower bound on; the count copied. An
// array that is not one-dimensional of single bytes copies nothing.
std::size_t CopyToArray(SAFEARRAY* sa, std::span<const std::uint8_t> src);
std::size_t CopyFromArray(SAFEARRAY* sa, std::span<std::uint8_t> dst);

// The byte array of an argument passed as an array or a reference to one; nullptr otherwise.
SAFEARRAY* ByteArrayOf(const VARIANT& v);

}  // namespace vx::win
