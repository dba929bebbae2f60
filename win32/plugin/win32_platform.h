// The platform seam on Win32: waits that pump the thread's messages and sleep in
// MsgWaitForMultipleObjectsEx (never spinning), plain Sleep, MessageBoxA without icon, and the
// wait cursor.
#pragma once

#include "plugin/win.h"

#include "platform/monotonic_clock.h"
#include "platform/platform.h"

namespace vx::win {

// The title of a message box whose caller gives no caption.
inline constexpr char kDefaultCaption[] = "vx58420Cal";

class Win32Platform : public Platform {
 public:
  // Message boxes are modal to the top-level window that holds `owner`.
  void SetOwner(HWND owner) { owner_ = owner; }

  TimePoint Now() override { return clock_.Now(); }
  void ProcessEventsUntil(TimePoint deadline) override;
  void Yield() override;
  void Sleep(Duration d) override;
  Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons) override;
  void SetBusyCursor(bool busy) override;

  bool busy() const { return busy_; }

 private:
  MonotonicClock clock_{false};
  HWND owner_ = nullptr;
  bool busy_ = false;
};

// Dispatches every message waiting in this thread's queue. A WM_QUIT is put back for the
// host's own loop and ends the pumping.
void PumpPendingMessages();

}  // namespace vx::win
