#include "plugin/dispatch_args.h"

#include <cstring>

namespace vx::win {

namespace {

// Bytes of a value of a scalar automation type; 0 for the rest (a BSTR is written apart).
std::size_t ScalarSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    default:
      return 0;
  }
}

bool Convertible(VARTYPE vt) {
  return vt == VT_BSTR || ScalarSize(vt) != 0;
}

// The description of member `id` for a call with `flags` (the DISPATCH_ and INVOKE_ bits
// agree); the caller releases it.
FUNCDESC* FindMember(ITypeInfo* info, DISPID id, WORD flags) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return nullptr;
  const WORD count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < count; ++i) {
    FUNCDESC* f = nullptr;
    if (FAILED(info->GetFuncDesc(i, &f))) continue;
    if (f->memid == id && (static_cast<WORD>(f->invkind) & flags) != 0) return f;
    info->ReleaseFuncDesc(f);
  }
  return nullptr;
}

// The type a parameter holds: T for a T* parameter.
VARTYPE Declared(const ELEMDESC& e) {
  const TYPEDESC& t = e.tdesc;
  return t.vt == VT_PTR && t.lptdesc ? t.lptdesc->vt : t.vt;
}

// `value` into the typed reference `ref` (VT_BYREF | T), converted to T; nothing when it
// cannot convert.
void StoreInto(const VARIANT& ref, const VARIANT& value, LCID lcid) {
  const auto vt = static_cast<VARTYPE>(V_VT(&ref) & ~VT_BYREF);
  if (!Convertible(vt) || !V_BYREF(&ref)) return;
  VARIANT conv;
  VariantInit(&conv);
  if (FAILED(VariantChangeTypeEx(&conv, const_cast<VARIANT*>(&value), lcid, 0, vt))) return;
  if (vt == VT_BSTR) {
    SysFreeString(*V_BSTRREF(&ref));
    *V_BSTRREF(&ref) = V_BSTR(&conv);  // the reference owns it now
    return;
  }
  std::memcpy(V_BYREF(&ref), &V_UI1(&conv), ScalarSize(vt));
}

}  // namespace

DeclaredArgs::~DeclaredArgs() {
  for (VARIANT& v : values_)
    VariantClear(&v);
}

HRESULT DeclaredArgs::Prepare(ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* in, LCID lcid,
                              UINT* arg_err) {
  if (!info || !in || (in->cArgs > 0 && !in->rgvarg)) return S_FALSE;
  FUNCDESC* f = FindMember(info, id, flags);
  if (!f) return S_FALSE;
  std::vector<VARTYPE> declared;
  for (SHORT p = 0; p < f->cParams; ++p) {
    const ELEMDESC& e = f->lprgelemdescParam[p];
    if ((e.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) == 0) declared.push_back(Declared(e));
  }
  info->ReleaseFuncDesc(f);
  const UINT n = in->cArgs;
  bool plain = n == declared.size();
  for (UINT k = 0; plain && k < in->cNamedArgs; ++k)
    plain = in->rgdispidNamedArgs && in->rgdispidNamedArgs[k] == DISPID_PROPERTYPUT;
  for (VARTYPE vt : declared)
    plain = plain && Convertible(vt);
  if (!plain) return S_FALSE;  // DispInvoke answers for what it does not match

  values_.resize(n);
  for (VARIANT& v : values_)
    VariantInit(&v);
  for (UINT k = 0; k < n; ++k) {
    // Arguments come last first; the value of a property put is the last parameter.
    const UINT param = k < in->cNamedArgs ? n - 1 : n - 1 - k;
    const VARIANT& a = in->rgvarg[k];
    const VARIANT* from = V_VT(&a) == (VT_BYREF | VT_VARIANT) ? V_VARIANTREF(&a) : &a;
    VARIANT src;
    VariantInit(&src);
    HRESULT hr = from ? VariantCopyInd(&src, const_cast<VARIANT*>(from)) : DISP_E_TYPEMISMATCH;
    if (SUCCEEDED(hr)) hr = VariantChangeTypeEx(&values_[k], &src, lcid, 0, declared[param]);
    VariantClear(&src);
    if (FAILED(hr)) {
      if (arg_err) *arg_err = k;
      return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
    }
  }
  refs_.resize(n);
  for (UINT k = 0; k < n; ++k) {
    VariantInit(&refs_[k]);
    V_VT(&refs_[k]) = static_cast<VARTYPE>(VT_BYREF | V_VT(&values_[k]));
    V_BYREF(&refs_[k]) = &V_UI1(&values_[k]);  // the union's start, whatever the type
  }
  caller_ = in;
  params_.rgvarg = refs_.data();
  params_.cArgs = n;
  params_.rgdispidNamedArgs = in->rgdispidNamedArgs;
  params_.cNamedArgs = in->cNamedArgs;
  return S_OK;
}

void DeclaredArgs::WriteBack(LCID lcid) {
  if (!caller_) return;
  for (UINT k = 0; k < values_.size(); ++k) {
    const VARIANT& a = caller_->rgvarg[k];
    if ((V_VT(&a) & VT_BYREF) == 0) continue;  // a value: nothing to receive it
    if (V_VT(&a) != (VT_BYREF | VT_VARIANT)) {
      StoreInto(a, values_[k], lcid);
      continue;
    }
    VARIANT* target = V_VARIANTREF(&a);
    if (!target) continue;
    if (V_VT(target) & VT_BYREF) {
      StoreInto(*target, values_[k], lcid);
    } else if (SUCCEEDED(VariantClear(target))) {
      VariantCopy(target, &values_[k]);  // the variable takes the member's type
    }
  }
}

}  // namespace vx::win
