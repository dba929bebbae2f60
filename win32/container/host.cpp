#include "container/host.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "plugin/win32_renderer.h"

namespace vx::win {

namespace {

constexpr char kFrameClass[] = "vx58420Container";

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void RegisterFrame() {
  static bool done = [] {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &FrameProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_APPWORKSPACE);
    wc.lpszClassName = kFrameClass;
    return RegisterClassExA(&wc) != 0;
  }();
  (void)done;
}

struct FindData {
  std::string key;
  HWND found = nullptr;
};

BOOL CALLBACK FindByKey(HWND child, LPARAM lp) {
  auto* d = reinterpret_cast<FindData*>(lp);
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(child, kKeyProperty)));
  if (atom == 0) return TRUE;
  char name[256];
  UINT n = GlobalGetAtomNameA(atom, name, sizeof name);
  if (d->key == std::string(name, n)) {
    d->found = child;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

void PumpFor(int ms) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
}

Host::Host(const wchar_t* progid, IDispatch* parent) {
  RegisterFrame();
  window_ = CreateWindowExA(0, kFrameClass, "vx58420 test container",
                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800, 600, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  extender_ = new Extender(parent);
  CLSID clsid{};
  create_hr_ = CLSIDFromProgID(progid, &clsid);
  if (FAILED(create_hr_)) return;
  create_hr_ = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&ole_));
  if (FAILED(create_hr_)) return;
  ole_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&cal_));
  IPersistStreamInit* persist = nullptr;
  if (SUCCEEDED(ole_->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
    persist->InitNew();
    persist->Release();
  }
  // The page's own size: HIMETRIC to pixels at 96 per inch.
  SIZEL extent{};
  ole_->GetExtent(DVASPECT_CONTENT, &extent);
  RECT pos{0, 0, MulDiv(extent.cx, 96, 2540), MulDiv(extent.cy, 96, 2540)};
  RECT frame = pos;
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER);
  ShowWindow(window_, SW_SHOW);
  site_ = new ContainerSite(window_, pos, extender_);
  ole_->SetClientSite(site_);
}

Host::~Host() {
  if (ole_) {
    ole_->Close(OLECLOSE_NOSAVE);
    ole_->SetClientSite(nullptr);
  }
  if (cal_) cal_->Release();
  if (ole_) ole_->Release();
  if (site_) site_->Release();
  if (extender_) extender_->Release();
  if (window_) DestroyWindow(window_);
  PumpFor(0);
}

HRESULT Host::Show() {
  RECT pos{};
  GetClientRect(window_, &pos);
  return ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, window_, &pos);
}

HRESULT Host::Hide() {
  return ole_->DoVerb(OLEIVERB_HIDE, nullptr, site_, 0, window_, nullptr);
}

HWND Host::ControlWindow() const {
  IOleInPlaceObject* ip = nullptr;
  HWND h = nullptr;
  if (ole_ &&
      SUCCEEDED(ole_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
    ip->GetWindow(&h);
    ip->Release();
  }
  return h;
}

HRESULT CallByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT*> args,
                   VARIANT* result, std::wstring* raised) {
  if (raised) raised->clear();
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 0;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANTARG> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it)
    reversed.push_back(**it);
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO ex{};
  UINT bad = 0;
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &ex, &bad);
  if (raised && hr == DISP_E_EXCEPTION && ex.bstrDescription) *raised = ex.bstrDescription;
  SysFreeString(ex.bstrSource);
  SysFreeString(ex.bstrDescription);
  SysFreeString(ex.bstrHelpFile);
  return hr;
}

HRESULT Host::Call(const wchar_t* name, WORD flags, std::vector<VARIANT*> args, VARIANT* result) {
  return CallByName(cal_, name, flags, std::move(args), result, &raised_);
}

HRESULT Host::Put(const wchar_t* name, VARIANT value) {
  return Call(name, DISPATCH_PROPERTYPUT, {&value});
}

HWND Host::Find(const std::string& key) const {
  HWND control = ControlWindow();
  if (!control) return nullptr;
  FindData d{key};
  EnumChildWindows(control, &FindByKey, reinterpret_cast<LPARAM>(&d));
  return d.found;
}

std::string Host::Text(const std::string& key) const {
  HWND h = Find(key);
  if (!h) return "<no window " + key + ">";
  char buf[512];
  int n = GetWindowTextA(h, buf, sizeof buf);
  return std::string(buf, static_cast<std::size_t>(std::max(n, 0)));
}

void Host::Type(const std::string& key, const std::string& text) const {
  if (HWND h = Find(key)) SendMessageA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Host::Click(const std::string& key) const {
  if (HWND h = Find(key)) SendMessageA(h, BM_CLICK, 0, 0);
}

}  // namespace vx::win
