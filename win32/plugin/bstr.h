// Text between the control's 8-bit (ANSI) strings and automation's BSTRs.
#pragma once

#include "plugin/win.h"

#include <string>

namespace vx::win {

std::string FromBstr(BSTR b);
// A new BSTR the caller owns; nullptr only when memory runs out.
BSTR ToBstr(const std::string& s);
// Replaces *slot (freeing the old string) with s. False when memory runs out.
bool AssignBstr(BSTR* slot, const std::string& s);

std::wstring Widen(const std::string& s);
std::string Narrow(const std::wstring& s);

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, as the registry writes identifiers.
std::wstring GuidText(REFGUID g);

}  // namespace vx::win
