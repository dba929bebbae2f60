#include "plugin/win32_platform.h"

#include <algorithm>

namespace vx::win {

namespace {

// Whole milliseconds, rounded up, so that a wait never ends before its deadline.
DWORD CeilMs(Duration d) {
  if (d <= Duration::zero()) return 0;
  auto ms = (d.count() + 999'999) / 1'000'000;
  return static_cast<DWORD>(std::min<long long>(ms, 0x7FFFFFFF));
}

}  // namespace

void PumpPendingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void Win32Platform::ProcessEventsUntil(TimePoint deadline) {
  PumpPendingMessages();
  DWORD ms = CeilMs(deadline - Now());
  if (ms == 0) return;
  // Sleeps until a message arrives or the time is up; MWMO_INPUTAVAILABLE also wakes for
  // messages that arrived before the call.
  MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void Win32Platform::Yield() {
  PumpPendingMessages();
}

void Win32Platform::Sleep(Duration d) {
  const TimePoint deadline = Now() + d;
  for (DWORD ms = CeilMs(d); ms > 0; ms = CeilMs(deadline - Now()))
    ::Sleep(ms);
}

Answer Win32Platform::MessageBox(const std::string& text, const std::string& caption,
                                 Buttons buttons) {
  HWND owner = owner_ && IsWindow(owner_) ? GetAncestor(owner_, GA_ROOT) : nullptr;
  UINT type = (buttons == Buttons::kOkCancel ? MB_OKCANCEL : MB_OK) | MB_SETFOREGROUND;
  if (!owner) type |= MB_TASKMODAL;
  int r =
      MessageBoxA(owner, text.c_str(), caption.empty() ? kDefaultCaption : caption.c_str(), type);
  return r == IDOK ? Answer::kOk : Answer::kCancel;
}

void Win32Platform::SetBusyCursor(bool busy) {
  busy_ = busy;
  SetCursor(LoadCursor(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

}  // namespace vx::win
