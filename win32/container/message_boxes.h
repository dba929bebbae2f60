// Answers the message boxes of this thread as they open, the way a user at the container
// would, and remembers what each one said. A CBT hook sees the box activate; the answer is
// posted to it, so the box's own modal loop closes it.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "plugin/win.h"

namespace vx::win {

struct SeenBox {
  std::string caption;
  std::string text;
  bool has_cancel = false;
  bool has_icon = false;
  bool answered_ok = true;
};

class MessageBoxAnswerer {
 public:
  MessageBoxAnswerer();
  ~MessageBoxAnswerer();
  MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
  MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

  // Answers for the next boxes that have a Cancel button (OK when none is queued).
  std::deque<bool> ok_answers;
  std::vector<SeenBox> seen;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
  static void CALLBACK Read(HWND box, UINT, UINT_PTR id, DWORD);
  void Answer(HWND box);
  HHOOK hook_ = nullptr;
};

}  // namespace vx::win
