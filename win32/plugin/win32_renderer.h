// Draws a form model with Win32 controls inside one window and binds them both ways: the
// model's changes move the controls, the user's clicks and typing go to the model, and the
// model's timers run on SetTimer. The window that owns the renderer forwards its WM_COMMAND,
// WM_CTLCOLOR*, WM_DRAWITEM and WM_TIMER messages to HandleMessage.
#pragma once

#include "plugin/win.h"

#include <map>
#include <string>
#include <vector>

#include "form/form_model.h"

namespace vx::win {

// Every control window carries its form key as a global atom under this property, so that a
// container or test can find a control by name.
inline constexpr char kKeyProperty[] = "vx58420.key";

class Win32Renderer {
 public:
  // Pixels per inch of the page's twips (1440 per inch).
  Win32Renderer(FormModel& form, HWND surface, int dpi = 96);
  ~Win32Renderer();
  Win32Renderer(const Win32Renderer&) = delete;
  Win32Renderer& operator=(const Win32Renderer&) = delete;

  // True when the message was one of the renderer's; *result is then the window's answer.
  bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

  HWND WindowFor(const std::string& key) const;
  int Pixels(int twips) const { return MulDiv(twips, dpi_, 1440); }

 private:
  struct Item {
    const Control* control = nullptr;
    HWND hwnd = nullptr;
    ATOM atom = 0;
  };

  void Build(const Control& c, int index);
  // The controls' tool tips, shown by one tool tip window of the surface.
  void AddToolTips();
  void Update(const Control& c);
  void UpdateItem(Item& item);
  void UpdateAll();
  POINT Origin(const Control& c);  // surface position of the control's parent, in twips
  HFONT Font(double size, bool bold);
  HBRUSH Brush(std::uint32_t rgb);
  Item* ItemFor(HWND hwnd);
  Item* ItemForId(int id);
  void DrawDoneMark(const DRAWITEMSTRUCT& d);

  FormModel& form_;
  HWND surface_;
  HWND tooltips_ = nullptr;
  int dpi_;
  int observer_ = 0;
  bool updating_ = false;  // our own SetWindowText must not come back as typing
  std::vector<Item> items_;
  std::map<std::string, std::size_t> by_key_;
  std::map<std::pair<int, bool>, HFONT> fonts_;
  std::map<std::uint32_t, HBRUSH> brushes_;
};

}  // namespace vx::win
