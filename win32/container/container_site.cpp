#include "container/container_site.h"

namespace vx::win {

Extender::Extender(IDispatch* parent) : parent_(parent) {
  if (parent_) parent_->AddRef();
}

Extender::~Extender() {
  if (parent_) parent_->Release();
}

STDMETHODIMP Extender::QueryInterface(REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP Extender::GetTypeInfoCount(UINT* n) {
  if (!n) return E_POINTER;
  *n = 0;
  return S_OK;
}

STDMETHODIMP Extender::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP Extender::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count != 1) return E_INVALIDARG;
  if (mode_ != ParentMode::kMissing && _wcsicmp(names[0], L"Parent") == 0) {
    ids[0] = 1;
    return S_OK;
  }
  ids[0] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP Extender::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                              EXCEPINFO*, UINT*) {
  if (id != 1 || mode_ == ParentMode::kMissing) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
  ++parent_reads_;
  if (mode_ == ParentMode::kFailing) return E_FAIL;
  VariantInit(result);
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = parent_;
  if (parent_) parent_->AddRef();
  return S_OK;
}

ContainerSite::ContainerSite(HWND window, RECT pos, Extender* extender)
    : window_(window), pos_(pos), extender_(extender) {
  extender_->AddRef();
}

ContainerSite::~ContainerSite() {
  extender_->Release();
}

STDMETHODIMP ContainerSite::QueryInterface(REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
    *ppv = static_cast<IOleClientSite*>(this);
  else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite))
    *ppv = static_cast<IOleInPlaceSite*>(this);
  else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame))
    *ppv = static_cast<IOleInPlaceFrame*>(this);
  else if (IsEqualIID(iid, IID_IOleControlSite))
    *ppv = static_cast<IOleControlSite*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP ContainerSite::GetContainer(IOleContainer** c) {
  if (c) *c = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP ContainerSite::GetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  *hwnd = window_;
  return S_OK;
}

STDMETHODIMP ContainerSite::OnInPlaceActivate() {
  ++activations_;
  return S_OK;
}

STDMETHODIMP ContainerSite::OnInPlaceDeactivate() {
  ++deactivations_;
  return S_OK;
}

STDMETHODIMP ContainerSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT pos, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  *doc = nullptr;
  *pos = pos_;
  GetClientRect(window_, clip);
  info->fMDIApp = FALSE;
  info->hwndFrame = window_;
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

STDMETHODIMP ContainerSite::GetExtendedControl(IDispatch** disp) {
  if (!disp) return E_POINTER;
  *disp = extender_;
  extender_->AddRef();
  return S_OK;
}

}  // namespace vx::win
