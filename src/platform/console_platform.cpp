#include "platform/console_platform.h"

namespace vx {

Answer ConsolePlatform::MessageBox(const std::string& text, const std::string& caption,
                                   Buttons buttons) {
  Answer a = Answer::kOk;
  if (buttons == Buttons::kOkCancel) {
    if (!answers.empty()) {
      a = answers.front();
      answers.pop_front();
    } else {
      a = confirm ? confirm(text) : Answer::kCancel;
    }
  }
  if (shown) shown(text, caption, buttons, a);
  return a;
}

}  // namespace vx
