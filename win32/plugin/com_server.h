// The DLL as a COM server: its module handle and path, the type library it carries, and the
// count of objects and locks that DllCanUnloadNow reads.
#pragma once

#include "plugin/win.h"

#include <string>

namespace vx::win {

HINSTANCE ModuleInstance();
std::wstring ModulePath();

// The type library embedded in this DLL, loaded once; nullptr when it cannot be loaded.
ITypeLib* EmbeddedTypeLib();
// A type description of the embedded library, AddRef'ed for the caller.
HRESULT TypeInfoOf(REFGUID guid, ITypeInfo** info);

}  // namespace vx::win
