// windows.h and the COM headers, without the macros that would rename the system's own
// member functions (Yield, MessageBox, GetPrivateProfileInt, GetClassInfo).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
//
#include <oaidl.h>
#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>
//
#include <commctrl.h>

#undef Yield
#undef MessageBox
#undef GetPrivateProfileInt
