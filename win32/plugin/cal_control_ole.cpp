// The control as an OLE object in its container: verbs, extents, in-place activation with its
// own window, and the class and connection-point information a container asks for.
#include <new>

#include "plugin/cal_control.h"
#include "plugin/com_server.h"
#include "plugin/connection_point.h"

namespace vx::win {

namespace {

constexpr char kWindowClass[] = "vx58420CalControl";
constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                              OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                              OLEMISC_SETCLIENTSITEFIRST;

ATOM RegisterWindowClass() {
  static ATOM atom = [] {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &DefWindowProcA;  // replaced by the control's procedure at creation
    wc.hInstance = ModuleInstance();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kWindowClass;
    return RegisterClassExA(&wc);
  }();
  return atom;
}

}  // namespace

// --- IOleObject --------------------------------------------------------------------------

STDMETHODIMP CalControl::SetClientSite(IOleClientSite* site) {
  if (site) site->AddRef();
  if (site_) site_->Release();
  site_ = site;
  if (!site_) InPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP CalControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = site_;
  if (site_) site_->AddRef();
  return S_OK;
}

STDMETHODIMP CalControl::Close(DWORD) {
  InPlaceDeactivate();
  if (advise_) advise_->SendOnClose();
  return S_OK;
}

STDMETHODIMP CalControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                LPCRECT pos) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      return ActivateInPlace(site ? site : site_, parent, pos);
    case OLEIVERB_HIDE:
      if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
      return S_OK;
    default:
      return OLEOBJ_S_INVALIDVERB;
  }
}

STDMETHODIMP CalControl::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_Cal;
  return S_OK;
}

STDMETHODIMP CalControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  extent_ = *size;
  return S_OK;
}

STDMETHODIMP CalControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  *size = extent_;
  return S_OK;
}

STDMETHODIMP CalControl::Advise(IAdviseSink* sink, DWORD* cookie) {
  if (!advise_ && FAILED(CreateOleAdviseHolder(&advise_))) return E_OUTOFMEMORY;
  return advise_->Advise(sink, cookie);
}

STDMETHODIMP CalControl::Unadvise(DWORD cookie) {
  return advise_ ? advise_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP CalControl::EnumAdvise(IEnumSTATDATA** e) {
  if (!e) return E_POINTER;
  *e = nullptr;
  return advise_ ? advise_->EnumAdvise(e) : S_OK;
}

STDMETHODIMP CalControl::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = kMiscStatus;
  return S_OK;
}

// --- in-place activation -----------------------------------------------------------------

HRESULT CalControl::ActivateInPlace(IOleClientSite* site, HWND, LPCRECT pos) {
  if (hwnd_) {
    if (pos) SetObjectRects(pos, pos);
    if (!IsWindowVisible(hwnd_)) ShowWindow(hwnd_, SW_SHOW);  // a show again: Show fires
    return S_OK;
  }
  if (!site) return E_UNEXPECTED;
  IOleInPlaceSite* ips = nullptr;
  if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&ips))))
    return E_NOINTERFACE;
  if (ips->CanInPlaceActivate() != S_OK) {
    ips->Release();
    return E_FAIL;
  }
  ips->OnInPlaceActivate();
  HWND parent = nullptr;
  RECT rect{}, clip{};
  IOleInPlaceFrame* frame = nullptr;
  IOleInPlaceUIWindow* doc = nullptr;
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  ips->GetWindow(&parent);
  if (SUCCEEDED(ips->GetWindowContext(&frame, &doc, &rect, &clip, &info))) {
    if (frame) frame->Release();
    if (doc) doc->Release();
  }
  if (pos) rect = *pos;
  RegisterWindowClass();
  hwnd_ = CreateWindowExA(WS_EX_CONTROLPARENT, kWindowClass, "",
                          WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, rect.left, rect.top,
                          rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                          ModuleInstance(), nullptr);
  if (!hwnd_) {
    ips->OnInPlaceDeactivate();
    ips->Release();
    return E_FAIL;
  }
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CalControl::WindowProc));
  inplace_site_ = ips;
  platform_.SetOwner(hwnd_);
  try {
    renderer_ = std::make_unique<Win32Renderer>(cal_->Form(), hwnd_);
  } catch (...) {
    DestroyControlWindow();
    return E_OUTOFMEMORY;
  }
  ShowWindow(hwnd_, SW_SHOW);  // the container made the control visible: Show fires
  return S_OK;
}

void CalControl::DestroyControlWindow() {
  renderer_.reset();
  if (hwnd_) {
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
  platform_.SetOwner(nullptr);
}

STDMETHODIMP CalControl::TranslateAccelerator(LPMSG msg) {
  if (hwnd_ && msg && IsChild(hwnd_, msg->hwnd) && IsDialogMessageA(hwnd_, msg)) return S_OK;
  return S_FALSE;
}

STDMETHODIMP CalControl::GetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  *hwnd = hwnd_;
  return hwnd_ ? S_OK : E_FAIL;
}

STDMETHODIMP CalControl::InPlaceDeactivate() {
  if (!inplace_site_) return S_OK;
  DestroyControlWindow();
  IOleInPlaceSite* ips = inplace_site_;
  inplace_site_ = nullptr;
  ips->OnInPlaceDeactivate();
  ips->Release();
  return S_OK;
}

STDMETHODIMP CalControl::SetObjectRects(LPCRECT pos, LPCRECT) {
  if (!pos) return E_POINTER;
  if (hwnd_)
    MoveWindow(hwnd_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
  return S_OK;
}

LRESULT CALLBACK CalControl::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<CalControl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  try {
    return self->OnMessage(msg, wp, lp);
  } catch (...) {
    return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

LRESULT CalControl::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = hwnd_;
  if (msg == WM_SHOWWINDOW && wp) {
    // Hold ourselves: the container may release the control from inside the show handling.
    AddRef();
    cal_->OnShow();
    Release();
    return 0;
  }
  if (msg == WM_SETCURSOR && platform_.busy()) {
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    return TRUE;
  }
  LRESULT result = 0;
  if (renderer_) {
    AddRef();
    const bool handled = renderer_->HandleMessage(msg, wp, lp, &result);
    Release();
    if (handled) return result;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// --- the rest ----------------------------------------------------------------------------

STDMETHODIMP CalControl::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  info->cb = sizeof *info;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

STDMETHODIMP CalControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

STDMETHODIMP CalControl::GetClassInfo(ITypeInfo** info) {
  return TypeInfoOf(CLSID_Cal, info);
}

STDMETHODIMP CalControl::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = DIID___Cal;
  return S_OK;
}

STDMETHODIMP CalControl::EnumConnectionPoints(IEnumConnectionPoints** e) {
  if (e) *e = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CalControl::FindConnectionPoint(REFIID iid, IConnectionPoint** cp) {
  if (!cp) return E_POINTER;
  *cp = nullptr;
  if (!IsEqualIID(iid, DIID___Cal)) return CONNECT_E_NOCONNECTION;
  auto* point = new (std::nothrow) EmptyConnectionPoint(this, iid);
  if (!point) return E_OUTOFMEMORY;
  *cp = point;
  return S_OK;
}

}  // namespace vx::win
