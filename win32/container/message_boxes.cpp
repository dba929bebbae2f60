#include "container/message_boxes.h"

namespace vx::win {

namespace {

MessageBoxAnswerer* g_answerer = nullptr;

std::string TextOf(HWND w) {
  if (!w) return {};
  char buf[2048];
  int n = GetWindowTextA(w, buf, sizeof buf);
  return std::string(buf, static_cast<std::size_t>(n > 0 ? n : 0));
}

// An icon is a visible static control of the SS_ICON style.
BOOL CALLBACK FindIcon(HWND child, LPARAM found) {
  char cls[32];
  GetClassNameA(child, cls, sizeof cls);
  LONG style = GetWindowLongA(child, GWL_STYLE);
  if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
      SendMessageA(child, STM_GETICON, 0, 0) != 0) {
    *reinterpret_cast<bool*>(found) = true;
  }
  return TRUE;
}

}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer() {
  g_answerer = this;
  hook_ = SetWindowsHookExA(WH_CBT, &MessageBoxAnswerer::Hook, nullptr, GetCurrentThreadId());
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  if (hook_) UnhookWindowsHookEx(hook_);
  g_answerer = nullptr;
}

LRESULT CALLBACK MessageBoxAnswerer::Hook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE && g_answerer) {
    HWND w = reinterpret_cast<HWND>(wp);
    char cls[32];
    GetClassNameA(w, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") == 0) g_answerer->Answer(w);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

void MessageBoxAnswerer::Answer(HWND box) {
  // A box activates more than once (it may lose and regain the focus); answer it once.
  if (GetPropA(box, "vx58420.answered")) return;
  SetPropA(box, "vx58420.answered", reinterpret_cast<HANDLE>(1));
  // The box may activate before its text is set: read it from inside the box's own modal
  // loop, once the loop runs.
  SetTimer(box, 1, 0, &MessageBoxAnswerer::Read);
}

void CALLBACK MessageBoxAnswerer::Read(HWND box, UINT, UINT_PTR id, DWORD) {
  KillTimer(box, id);
  if (!g_answerer) return;
  SeenBox b;
  b.caption = TextOf(box);
  b.text = TextOf(GetDlgItem(box, 0xFFFF));
  HWND cancel = GetDlgItem(box, IDCANCEL);
  b.has_cancel = cancel != nullptr && IsWindowVisible(cancel);
  bool icon = false;
  EnumChildWindows(box, &FindIcon, reinterpret_cast<LPARAM>(&icon));
  b.has_icon = icon;
  if (b.has_cancel && !g_answerer->ok_answers.empty()) {
    b.answered_ok = g_answerer->ok_answers.front();
    g_answerer->ok_answers.pop_front();
  }
  g_answerer->seen.push_back(b);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(b.answered_ok ? IDOK : IDCANCEL, BN_CLICKED), 0);
}

}  // namespace vx::win
