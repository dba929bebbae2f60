#include "plugin/cal_control.h"

#include <new>
#include <stdexcept>

#include "plugin/bstr.h"
#include "plugin/com_server.h"
#include "plugin/connection_point.h"
#include "plugin/dispatch_adapter.h"

namespace vx::win {

namespace {

constexpr char kWindowClass[] = "vx58420CalControl";
constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                              OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                              OLEMISC_SETCLIENTSITEFIRST;

// Nothing may escape into the host: C++ failures become HRESULTs.
template <typename Fn>
HRESULT Guard(Fn&& fn) noexcept {
  try {
    return fn();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

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

// The design size of the page, in HIMETRIC (0.01 mm), from twips.
SIZEL DesignExtent(const FormModel& form) {
  return SIZEL{MulDiv(form.width, 2540, 1440), MulDiv(form.height, 2540, 1440)};
}

}  // namespace

CalControl::CalControl() : cal_(new Cal()) {
  cal_->SetClientSite(this);
  extent_ = DesignExtent(cal_->Form());
}

CalControl::~CalControl() {
  DestroyControlWindow();
  if (inplace_site_) inplace_site_->Release();
  if (site_) site_->Release();
  if (advise_) advise_->Release();
  cal_->SetClientSite(nullptr);
  cal_->Release();
}

STDMETHODIMP CalControl::QueryInterface(REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, IID__Cal)) {
    *ppv = static_cast<_Cal*>(this);
  } else if (IsEqualIID(iid, IID_IOleObject)) {
    *ppv = static_cast<IOleObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject)) {
    *ppv = static_cast<IOleInPlaceObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject)) {
    *ppv = static_cast<IOleInPlaceActiveObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleControl)) {
    *ppv = static_cast<IOleControl*>(this);
  } else if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistStreamInit)) {
    *ppv = static_cast<IPersistStreamInit*>(this);
  } else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2)) {
    *ppv = static_cast<IProvideClassInfo2*>(this);
  } else if (IsEqualIID(iid, IID_IConnectionPointContainer)) {
    *ppv = static_cast<IConnectionPointContainer*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

// --- IDispatch ---------------------------------------------------------------------------

namespace {

// The dispatch description of _Cal (for GetTypeInfo) and its interface half (for Invoke),
// looked up once: every late-bound call of a host needs them. Kept for the process, like the
// type library they belong to. AddRef'ed for the caller.
HRESULT CalTypeInfo(bool interface_half, ITypeInfo** out) {
  struct Infos {
    ITypeInfo* disp = nullptr;
    ITypeInfo* iface = nullptr;
    HRESULT hr = E_FAIL;
  };
  static const Infos infos = [] {
    Infos i;
    i.hr = TypeInfoOf(IID__Cal, &i.disp);
    HREFTYPE ref = 0;
    if (SUCCEEDED(i.hr)) i.hr = i.disp->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
    if (SUCCEEDED(i.hr)) i.hr = i.disp->GetRefTypeInfo(ref, &i.iface);
    return i;
  }();
  *out = nullptr;
  if (FAILED(infos.hr)) return infos.hr;
  *out = interface_half ? infos.iface : infos.disp;
  (*out)->AddRef();
  return S_OK;
}

}  // namespace

STDMETHODIMP CalControl::GetTypeInfoCount(UINT* n) {
  if (!n) return E_POINTER;
  *n = 1;
  return S_OK;
}

STDMETHODIMP CalControl::GetTypeInfo(UINT i, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (i != 0) return DISP_E_BADINDEX;
  return CalTypeInfo(false, info);
}

STDMETHODIMP CalControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  ITypeInfo* info = nullptr;
  HRESULT hr = CalTypeInfo(true, &info);
  if (FAILED(hr)) return hr;
  hr = DispGetIDsOfNames(info, names, count, ids);
  info->Release();
  return hr;
}

STDMETHODIMP CalControl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO* ex, UINT* arg_err) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = CalTypeInfo(true, &info);
  if (FAILED(hr)) return hr;
  hr = DispInvoke(static_cast<_Cal*>(this), info, id, flags, params, result, ex, arg_err);
  info->Release();
  return hr;
}

// --- _Cal --------------------------------------------------------------------------------

STDMETHODIMP CalControl::get_Caption(BSTR* Caption) {
  if (!Caption) return E_POINTER;
  return Guard([&] {
    *Caption = ToBstr(cal_->Caption());
    return *Caption ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP CalControl::put_TargetAddress(short* nTargetAddr) {
  if (!nTargetAddr) return E_POINTER;
  std::int16_t v = *nTargetAddr;
  cal_->TargetAddress(v);
  return S_OK;
}

STDMETHODIMP CalControl::put_DVMAC(short* nDVMAC) {
  if (!nDVMAC) return E_POINTER;
  std::int16_t v = *nDVMAC;
  cal_->DVMAC(v);
  return S_OK;
}

STDMETHODIMP CalControl::get_TargetAddress(short* TargetAddress) {
  if (!TargetAddress) return E_POINTER;
  *TargetAddress = cal_->TargetAddress();
  return S_OK;
}

STDMETHODIMP CalControl::put_TargetInfo(BSTR* sDevVer) {
  if (!sDevVer) return E_POINTER;
  return Guard([&] {
    std::string s = FromBstr(*sDevVer);
    cal_->TargetInfo(s);
    return S_OK;
  });
}

STDMETHODIMP CalControl::ReadGGIniWithOverride(BSTR* sTargetInfo, BSTR* sKeyname,
                                               LONG* nDefaultValue, BSTR* sFilename, LONG* result) {
  if (!sTargetInfo || !sKeyname || !nDefaultValue || !sFilename || !result) return E_POINTER;
  return Guard([&] {
    std::string info = FromBstr(*sTargetInfo), key = FromBstr(*sKeyname),
                file = FromBstr(*sFilename);
    std::int32_t def = *nDefaultValue;
    *result = cal_->ReadGGIniWithOverride(info, key, def, file);
    return S_OK;
  });
}

STDMETHODIMP CalControl::GetConfigSection(BSTR* sDevVer, BSTR* sDeviceConfigSection,
                                          BSTR* sVersionConfigSection, VARIANT_BOOL* result) {
  if (!sDevVer || !sDeviceConfigSection || !sVersionConfigSection || !result) return E_POINTER;
  return Guard([&] {
    std::string ver = FromBstr(*sDevVer), dev_section = FromBstr(*sDeviceConfigSection),
                ver_section = FromBstr(*sVersionConfigSection);
    const bool found = cal_->GetConfigSection(ver, dev_section, ver_section);
    // Outputs change only when the sections were found, as the member defines them.
    if (found && (!AssignBstr(sDeviceConfigSection, dev_section) ||
                  !AssignBstr(sVersionConfigSection, ver_section))) {
      return E_OUTOFMEMORY;
    }
    *result = found ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

STDMETHODIMP CalControl::ReadNumberofConfiguredCapacitors(LONG* result) {
  if (!result) return E_POINTER;
  *result = cal_->ReadNumberofConfiguredCapacitors();
  return S_OK;
}

STDMETHODIMP CalControl::CalSystemVoltage(LONG* result) {
  if (!result) return E_POINTER;
  *result = cal_->CalSystemVoltage();
  return S_OK;
}

STDMETHODIMP CalControl::PrintProperties() {
  cal_->PrintProperties();
  return S_OK;
}

// --- the container, as the portable control sees it ---------------------------------------

std::shared_ptr<SMBusAdapter> CalControl::GetObjectProperty(const std::string& name) {
  if (!site_) return nullptr;
  IOleControlSite* control_site = nullptr;
  if (FAILED(site_->QueryInterface(IID_IOleControlSite, reinterpret_cast<void**>(&control_site))))
    return nullptr;
  IDispatch* extender = nullptr;
  HRESULT hr = control_site->GetExtendedControl(&extender);
  control_site->Release();
  if (FAILED(hr) || !extender) return nullptr;

  std::wstring wide = Widen(name);
  LPOLESTR names[] = {wide.data()};
  DISPID id = 0;
  hr = extender->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) {
    extender->Release();
    return nullptr;  // the container has no such property
  }
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT v;
  VariantInit(&v);
  hr = extender->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v, nullptr,
                        nullptr);
  extender->Release();
  if (FAILED(hr)) throw std::runtime_error("reading the container's " + name + " failed");

  IDispatch* object = nullptr;
  if (V_VT(&v) == VT_DISPATCH && V_DISPATCH(&v)) {
    object = V_DISPATCH(&v);
    object->AddRef();
  } else if (V_VT(&v) == VT_UNKNOWN && V_UNKNOWN(&v)) {
    V_UNKNOWN(&v)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&object));
  }
  VariantClear(&v);
  if (!object) throw std::runtime_error("the container's " + name + " is not an object");
  auto adapter = std::make_shared<DispatchAdapter>(object);
  object->Release();
  return adapter;
}

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
