#include "plugin/cal_control.h"

#include <new>
#include <stdexcept>

#include "plugin/bstr.h"
#include "plugin/com_server.h"
#include "plugin/connection_point.h"
#include "plugin/dispatch_adapter.h"
#include "plugin/dispatch_args.h"

namespace vx::win {

namespace {

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

constexpr wchar_t kErrorSource[] = L"vx58420Cal.Cal";

void FreeExcepInfo(EXCEPINFO& e) {
  SysFreeString(e.bstrSource);
  SysFreeString(e.bstrDescription);
  SysFreeString(e.bstrHelpFile);
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
  } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
    *ppv = static_cast<ISupportErrorInfo*>(this);
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

STDMETHODIMP CalControl::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO* ex, UINT* arg_err) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = CalTypeInfo(true, &info);
  if (FAILED(hr)) return hr;
  DeclaredArgs args;
  const HRESULT prepared = args.Prepare(info, id, flags, params, lcid, arg_err);
  if (FAILED(prepared)) {
    info->Release();
    return prepared;
  }
  raised_.clear();
  EXCEPINFO inner{};
  hr = DispInvoke(static_cast<_Cal*>(this), info, id, flags,
                  prepared == S_OK ? args.Params() : params, result, &inner, arg_err);
  info->Release();
  if (SUCCEEDED(hr) && prepared == S_OK) args.WriteBack(lcid);
  if (raised_.empty()) {
    if (ex && hr == DISP_E_EXCEPTION) {
      *ex = inner;  // the caller frees it
    } else {
      FreeExcepInfo(inner);
    }
    return hr;
  }
  FreeExcepInfo(inner);
  if (ex) {
    *ex = EXCEPINFO{};
    ex->bstrSource = SysAllocString(kErrorSource);
    ex->bstrDescription = SysAllocString(raised_.c_str());
    ex->scode = E_FAIL;
  }
  return DISP_E_EXCEPTION;
}

HRESULT CalControl::Raise(const std::string& what) {
  raised_ = Widen(what);
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    create->SetGUID(IID__Cal);
    create->SetSource(const_cast<LPOLESTR>(kErrorSource));
    create->SetDescription(raised_.data());
    IErrorInfo* error = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error)))) {
      SetErrorInfo(0, error);
      error->Release();
    }
    create->Release();
  }
  return E_FAIL;
}

STDMETHODIMP CalControl::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID__Cal) ? S_OK : S_FALSE;
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
  return Guard([&] {
    const std::int32_t count = cal_->ReadNumberofConfiguredCapacitors();
    // The method has no failure trap of its own: its run-time failure goes to the caller.
    if (!cal_->LastFailure().empty()) return Raise(cal_->LastFailure());
    *result = count;
    return S_OK;
  });
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

}  // namespace vx::win
