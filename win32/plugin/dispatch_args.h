// The arguments of a late-bound call, brought to the types the member declares. Scripting
// clients pass each variable as a reference to a VARIANT (VBScript, JScript) or as a reference
// of its own type (a Long where the member takes a short*); the type library declares typed
// references, which DispInvoke takes literally. Each argument is converted by the usual
// automation rules into a value of the declared type, the member is called with references to
// those values, and what the member left in them goes back into the caller's references.
#pragma once

#include <vector>

#include "plugin/win.h"

namespace vx::win {

class DeclaredArgs {
 public:
  DeclaredArgs() = default;
  ~DeclaredArgs();
  DeclaredArgs(const DeclaredArgs&) = delete;
  DeclaredArgs& operator=(const DeclaredArgs&) = delete;

  // Converts `in` for the member `id` called with `flags`. S_OK: Params() holds the converted
  // arguments. S_FALSE: nothing to convert (no such member, or a count DispInvoke refuses
  // itself); the caller's own arguments go through. A failed conversion: its HRESULT
  // (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW) and *arg_err the argument's index.
  HRESULT Prepare(ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* in, LCID lcid, UINT* arg_err);
  DISPPARAMS* Params() { return &params_; }
  // The values the member left, into each reference the caller passed.
  void WriteBack(LCID lcid);

 private:
  DISPPARAMS* caller_ = nullptr;
  std::vector<VARIANT> values_;  // of the declared types, owned
  std::vector<VARIANT> refs_;    // references to values_, in the caller's order
  DISPPARAMS params_{};
};

}  // namespace vx::win
