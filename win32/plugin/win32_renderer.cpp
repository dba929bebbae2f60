#include "plugin/win32_renderer.h"

#include <cmath>

namespace vx::win {

namespace {

constexpr int kFirstId = 1000;

COLORREF ToColorRef(std::uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

bool IsContainer(Kind k) {
  return k == Kind::kPictureBox || k == Kind::kFrame;
}

// Plain boxes (picture boxes, frames without border) show neither border nor caption.
bool ShowsText(const Control& c) {
  return c.kind != Kind::kPictureBox && !(c.kind == Kind::kFrame && !c.border) &&
         c.kind != Kind::kProgressBar && c.kind != Kind::kImage;
}

// A group box paints its border and caption but not its inside; it fills the inside with the
// brush its owner gives for it, as the page's frames are filled.
LRESULT CALLBACK GroupBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  if (msg == WM_ERASEBKGND) {
    HWND owner = GetParent(hwnd);
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageA(owner, WM_CTLCOLORSTATIC, wp, reinterpret_cast<LPARAM>(hwnd)));
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(reinterpret_cast<HDC>(wp), &r, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
    return TRUE;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

Win32Renderer::Win32Renderer(FormModel& form, HWND surface, int dpi)
    : form_(form), surface_(surface), dpi_(dpi) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  items_.reserve(form_.controls().size());
  for (const auto& c : form_.controls())
    Build(*c, static_cast<int>(items_.size()));
  // Later controls lie on top, as the page stacks them.
  for (const Item& item : items_) {
    if (item.hwnd)
      SetWindowPos(item.hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  AddToolTips();
  UpdateAll();
  observer_ = form_.AddObserver([this](const Control& c) { Update(c); });
}

void Win32Renderer::AddToolTips() {
  for (const Item& item : items_) {
    if (!item.hwnd || item.control->tooltip.empty()) continue;
    if (!tooltips_) {
      tooltips_ = CreateWindowExA(
          WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, surface_, nullptr,
          reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(surface_, GWLP_HINSTANCE)), nullptr);
      if (!tooltips_) return;
    }
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = surface_;
    ti.uId = reinterpret_cast<UINT_PTR>(item.hwnd);
    ti.lpszText = const_cast<char*>(item.control->tooltip.c_str());
    SendMessageA(tooltips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  }
}

Win32Renderer::~Win32Renderer() {
  form_.RemoveObserver(observer_);
  if (tooltips_ && IsWindow(tooltips_)) DestroyWindow(tooltips_);
  for (Item& item : items_) {
    if (item.control->kind == Kind::kTimer)
      KillTimer(surface_, static_cast<UINT_PTR>(kFirstId + (&item - items_.data())));
    if (item.hwnd && IsWindow(item.hwnd)) {
      RemovePropA(item.hwnd, kKeyProperty);
      DestroyWindow(item.hwnd);
    }
    if (item.atom) GlobalDeleteAtom(item.atom);
  }
  for (auto& [k, f] : fonts_)
    DeleteObject(f);
  for (auto& [k, b] : brushes_)
    DeleteObject(b);
}

POINT Win32Renderer::Origin(const Control& c) {
  POINT p{0, 0};
  for (Control* up = form_.Parent(c); up; up = form_.Parent(*up)) {
    p.x += up->rect.left;
    p.y += up->rect.top;
  }
  return p;
}

HFONT Win32Renderer::Font(double size, bool bold) {
  const int height = -static_cast<int>(std::lround(size * dpi_ / 72.0));
  auto key = std::make_pair(height, bold);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  HFONT f = CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                        ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
  fonts_[key] = f;
  return f;
}

HBRUSH Win32Renderer::Brush(std::uint32_t rgb) {
  auto it = brushes_.find(rgb);
  if (it != brushes_.end()) return it->second;
  HBRUSH b = CreateSolidBrush(ToColorRef(rgb));
  brushes_[rgb] = b;
  return b;
}

void Win32Renderer::Build(const Control& c, int index) {
  Item item{&c, nullptr, 0};
  const int id = kFirstId + index;
  const char* cls = "STATIC";
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  DWORD ex = 0;
  switch (c.kind) {
    case Kind::kTimer:
      items_.push_back(item);
      by_key_[c.Key()] = items_.size() - 1;
      return;
    case Kind::kPictureBox:
      style |= SS_LEFT;
      break;
    case Kind::kFrame:
      if (c.border) {
        cls = "BUTTON";
        style |= BS_GROUPBOX;
      }
      break;
    case Kind::kCheckBox:
      cls = "BUTTON";
      style |= BS_3STATE | BS_MULTILINE | WS_TABSTOP;
      break;
    case Kind::kTextBox:
      cls = "EDIT";
      style |= ES_AUTOHSCROLL | WS_TABSTOP;
      if (c.alignment == Align::kRight) style |= ES_RIGHT;
      if (c.locked) style |= ES_READONLY;
      ex |= WS_EX_CLIENTEDGE;
      break;
    case Kind::kLabel:
      style |= c.alignment == Align::kRight    ? SS_RIGHT
               : c.alignment == Align::kCenter ? SS_CENTER
                                               : SS_LEFT;
      break;
    case Kind::kCommandButton:
      cls = "BUTTON";
      style |= BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP;
      break;
    case Kind::kOptionButton:
      cls = "BUTTON";
      style |= BS_RADIOBUTTON | BS_MULTILINE | WS_TABSTOP;
      break;
    case Kind::kProgressBar:
      cls = PROGRESS_CLASSA;
      break;
    case Kind::kImage:
      style |= SS_OWNERDRAW;
      break;
  }
  POINT o = Origin(c);
  item.hwnd = CreateWindowExA(
      ex, cls, ShowsText(c) ? c.text().c_str() : "", style, Pixels(o.x + c.rect.left),
      Pixels(o.y + c.rect.top), Pixels(c.rect.width), Pixels(c.rect.height), surface_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(surface_, GWLP_HINSTANCE)), nullptr);
  if (item.hwnd) {
    SendMessageA(item.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font(c.font_size, c.bold)), 0);
    if (c.kind == Kind::kTextBox && c.max_length > 0)
      SendMessageA(item.hwnd, EM_LIMITTEXT, static_cast<WPARAM>(c.max_length), 0);
    if (c.kind == Kind::kProgressBar) SendMessageA(item.hwnd, PBM_SETRANGE32, 0, 100);
    if (c.kind == Kind::kFrame && c.border) SetWindowSubclass(item.hwnd, &GroupBoxProc, 1, 0);
    item.atom = GlobalAddAtomA(c.Key().c_str());
    SetPropA(item.hwnd, kKeyProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(item.atom)));
  }
  items_.push_back(item);
  by_key_[c.Key()] = items_.size() - 1;
}

HWND Win32Renderer::WindowFor(const std::string& key) const {
  auto it = by_key_.find(key);
  return it == by_key_.end() ? nullptr : items_[it->second].hwnd;
}

Win32Renderer::Item* Win32Renderer::ItemFor(HWND hwnd) {
  for (Item& item : items_) {
    if (item.hwnd == hwnd) return &item;
  }
  return nullptr;
}

Win32Renderer::Item* Win32Renderer::ItemForId(int id) {
  int i = id - kFirstId;
  if (i < 0 || i >= static_cast<int>(items_.size())) return nullptr;
  return &items_[static_cast<std::size_t>(i)];
}

void Win32Renderer::Update(const Control& c) {
  // A container's flags reach everything inside it.
  if (IsContainer(c.kind)) {
    UpdateAll();
    return;
  }
  auto it = by_key_.find(c.Key());
  if (it != by_key_.end()) UpdateItem(items_[it->second]);
}

void Win32Renderer::UpdateAll() {
  for (Item& item : items_)
    UpdateItem(item);
}

void Win32Renderer::UpdateItem(Item& item) {
  const Control& c = *item.control;
  if (c.kind == Kind::kTimer) {
    const auto id = static_cast<UINT_PTR>(kFirstId + (&item - items_.data()));
    if (c.enabled() && c.interval_ms > 0)
      SetTimer(surface_, id, static_cast<UINT>(c.interval_ms), nullptr);
    else
      KillTimer(surface_, id);
    return;
  }
  HWND h = item.hwnd;
  if (!h) return;
  updating_ = true;
  if (ShowsText(c)) {
    char current[512];
    GetWindowTextA(h, current, sizeof current);
    if (c.text() != current) SetWindowTextA(h, c.text().c_str());
  }
  switch (c.kind) {
    case Kind::kCheckBox:
      SendMessageA(h, BM_SETCHECK,
                   c.value() == 1   ? BST_CHECKED
                   : c.value() == 2 ? BST_INDETERMINATE
                                    : BST_UNCHECKED,
                   0);
      break;
    case Kind::kOptionButton:
      SendMessageA(h, BM_SETCHECK, c.value() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case Kind::kProgressBar:
      SendMessageA(h, PBM_SETPOS, static_cast<WPARAM>(c.value()), 0);
      break;
    default:
      break;
  }
  updating_ = false;
  EnableWindow(h, form_.EffectiveEnabled(c));
  ShowWindow(h, form_.EffectiveVisible(c) ? SW_SHOWNA : SW_HIDE);
}

void Win32Renderer::DrawDoneMark(const DRAWITEMSTRUCT& d) {
  const RECT& r = d.rcItem;
  FillRect(d.hDC, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HPEN frame = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
  HGDIOBJ old = SelectObject(d.hDC, frame);
  SelectObject(d.hDC, GetStockObject(NULL_BRUSH));
  Rectangle(d.hDC, r.left, r.top, r.right, r.bottom);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HPEN tick = CreatePen(PS_SOLID, std::max(2, h / 8), RGB(220, 0, 0));
  SelectObject(d.hDC, tick);
  POINT pts[3] = {{r.left + w * 22 / 100, r.top + h * 52 / 100},
                  {r.left + w * 42 / 100, r.top + h * 75 / 100},
                  {r.left + w * 80 / 100, r.top + h * 24 / 100}};
  Polyline(d.hDC, pts, 3);
  SelectObject(d.hDC, old);
  DeleteObject(frame);
  DeleteObject(tick);
}

bool Win32Renderer::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  switch (msg) {
    case WM_COMMAND: {
      Item* item = ItemForId(LOWORD(wp));
      if (!item || !item->hwnd || reinterpret_cast<HWND>(lp) != item->hwnd) return false;
      const Control& c = *item->control;
      const std::string key = c.Key();
      const int code = HIWORD(wp);
      if (code == BN_CLICKED && (c.kind == Kind::kCommandButton || c.kind == Kind::kCheckBox ||
                                 c.kind == Kind::kOptionButton)) {
        form_.Click(key);
      } else if (code == EN_CHANGE && c.kind == Kind::kTextBox && !updating_) {
        int n = GetWindowTextLengthA(item->hwnd);
        std::string text(static_cast<std::size_t>(n) + 1, '\0');
        GetWindowTextA(item->hwnd, text.data(), n + 1);
        text.resize(static_cast<std::size_t>(n));
        if (!form_.Type(key, text)) UpdateItem(*item);
      } else {
        return false;
      }
      // The handler may have changed the control; put the window back in line with the model.
      if (Control* now = form_.Find(key); now && item->hwnd) UpdateItem(*item);
      *result = 0;
      return true;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN: {
      Item* item = ItemFor(reinterpret_cast<HWND>(lp));
      if (!item) return false;
      HDC dc = reinterpret_cast<HDC>(wp);
      const Control& c = *item->control;
      SetTextColor(dc, ToColorRef(c.fore_color));
      SetBkColor(dc, ToColorRef(c.back_color));
      *result = reinterpret_cast<LRESULT>(Brush(c.back_color));
      return true;
    }
    case WM_DRAWITEM: {
      auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      Item* item = d ? ItemFor(d->hwndItem) : nullptr;
      if (!item || item->control->kind != Kind::kImage) return false;
      DrawDoneMark(*d);
      *result = TRUE;
      return true;
    }
    case WM_TIMER: {
      Item* item = ItemForId(static_cast<int>(wp));
      if (!item || item->control->kind != Kind::kTimer) return false;
      form_.Tick(item->control->Key());
      *result = 0;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace vx::win
