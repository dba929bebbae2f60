#include "container/adapter_object.h"

#include "plugin/automation.h"
#include "plugin/bstr.h"

#include <algorithm>
#include <array>
#include <string>

namespace vx::win {

namespace {

constexpr const auto& kMethods = kAdapterMethodNames;

bool SameName(const wchar_t* asked, std::string_view name) {
  return _wcsicmp(asked, std::wstring(name.begin(), name.end()).c_str()) == 0;
}

// Argument i in call order (DISPPARAMS holds them last first).
VARIANTARG* Arg(DISPPARAMS& p, UINT i) {
  return &p.rgvarg[p.cArgs - 1 - i];
}

HRESULT ReadLong(VARIANTARG* a, long& out) {
  VARIANT v;
  VariantInit(&v);
  HRESULT hr = VariantCopyInd(&v, a);
  if (SUCCEEDED(hr)) hr = VariantChangeType(&v, &v, 0, VT_I4);
  if (SUCCEEDED(hr)) out = V_I4(&v);
  VariantClear(&v);
  return hr;
}

// Writes an out value through the caller's reference, in the reference's own type.
HRESULT WriteLong(VARIANTARG* a, long value) {
  switch (V_VT(a)) {
    case VT_BYREF | VT_UI1:
      *V_UI1REF(a) = static_cast<BYTE>(value);
      return S_OK;
    case VT_BYREF | VT_I2:
      *V_I2REF(a) = static_cast<SHORT>(value);
      return S_OK;
    case VT_BYREF | VT_I4:
      *V_I4REF(a) = value;
      return S_OK;
    case VT_BYREF | VT_VARIANT: {
      VARIANT* v = V_VARIANTREF(a);
      VariantClear(v);
      V_VT(v) = VT_I4;
      V_I4(v) = value;
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;  // an out value needs a reference
  }
}

}  // namespace

AdapterObject::AdapterObject(sim::SimState state) : device_(clock_, std::move(state)) {}

STDMETHODIMP AdapterObject::QueryInterface(REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP AdapterObject::GetTypeInfoCount(UINT* n) {
  if (!n) return E_POINTER;
  *n = 0;
  return S_OK;
}

STDMETHODIMP AdapterObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP AdapterObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  ++lookups_;
  for (UINT i = 0; i < count; ++i)
    ids[i] = DISPID_UNKNOWN;
  for (std::size_t m = 0; m < kMethods.size(); ++m) {
    if (SameName(names[0], kMethods[m])) {
      ids[0] = static_cast<DISPID>(m + 1);
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP AdapterObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) {
  if (id < 1 || id > static_cast<DISPID>(kMethods.size())) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_METHOD) || !params) return DISP_E_MEMBERNOTFOUND;
  const int m = static_cast<int>(id - 1);
  Calls& c = calls_[std::string(kMethods[static_cast<std::size_t>(m)])];
  for (UINT i = 0; i < params->cArgs; ++i) {
    VARTYPE t = V_VT(Arg(*params, i));
    if (!(t & VT_BYREF)) c.all_by_reference = false;
    if (c.count == 0) c.first_call_types.push_back(t);
  }
  ++c.count;
  return Dispatch(m, *params, result);
}

HRESULT AdapterObject::Dispatch(int method, DISPPARAMS& p, VARIANT* result) {
  static constexpr std::array<UINT, 9> kArgs = {4, 3, 4, 3, 4, 4, 2, 0, 1};
  if (p.cArgs != kArgs[static_cast<std::size_t>(method)]) return DISP_E_BADPARAMCOUNT;
  long cmd = 0, addr = 0;
  Status status = 0;
  HRESULT hr = S_OK;
  auto in = [&](UINT i, long& out) {
    if (SUCCEEDED(hr)) hr = ReadLong(Arg(p, i), out);
  };
  switch (method) {
    case 0: {  // ReadSMBusWord cmd, hi, lo, addr
      in(0, cmd);
      in(3, addr);
      if (FAILED(hr)) return hr;
      std::uint8_t hi = 0, lo = 0;
      status = device_.ReadSMBusWord(static_cast<std::uint8_t>(cmd), hi, lo,
                                     static_cast<std::int16_t>(addr));
      hr = WriteLong(Arg(p, 1), hi);
      if (SUCCEEDED(hr)) hr = WriteLong(Arg(p, 2), lo);
      break;
    }
    case 1: {  // ReadSMBusWord_ cmd, value, addr
      in(0, cmd);
      in(2, addr);
      if (FAILED(hr)) return hr;
      std::int16_t v = 0;
      status = device_.ReadSMBusWord_(static_cast<std::uint8_t>(cmd), v,
                                      static_cast<std::int16_t>(addr));
      hr = WriteLong(Arg(p, 1), v);
      break;
    }
    case 2: {  // WriteSMBusWord cmd, hi, lo, addr
      long hi = 0, lo = 0;
      in(0, cmd);
      in(1, hi);
      in(2, lo);
      in(3, addr);
      if (FAILED(hr)) return hr;
      status =
          device_.WriteSMBusWord(static_cast<std::uint8_t>(cmd), static_cast<std::uint8_t>(hi),
                                 static_cast<std::uint8_t>(lo), static_cast<std::int16_t>(addr));
      break;
    }
    case 3: {  // WriteSMBusWord_ cmd, value, addr
      long v = 0;
      in(0, cmd);
      in(1, v);
      in(2, addr);
      if (FAILED(hr)) return hr;
      status = device_.WriteSMBusWord_(static_cast<std::uint8_t>(cmd), static_cast<std::int16_t>(v),
                                       static_cast<std::int16_t>(addr));
      break;
    }
    case 4: {  // ReadSMBusBlock_ cmd, data, length, addr
      long length = 0;
      in(0, cmd);
      in(2, length);
      in(3, addr);
      if (FAILED(hr)) return hr;
      SAFEARRAY* sa = ByteArrayOf(*Arg(p, 1));
      if (!sa || !(V_VT(Arg(p, 1)) & VT_BYREF)) return DISP_E_TYPEMISMATCH;
      std::array<std::uint8_t, kBlockBufferSize> buf{};
      auto n = static_cast<std::int16_t>(length);
      status = device_.ReadSMBusBlock_(static_cast<std::uint8_t>(cmd), buf, n,
                                       static_cast<std::int16_t>(addr));
      CopyToArray(sa, buf);
      hr = WriteLong(Arg(p, 2), n);
      break;
    }
    case 5: {  // WriteSMBusBlock cmd, data, length, addr
      long length = 0;
      in(0, cmd);
      in(2, length);
      in(3, addr);
      if (FAILED(hr)) return hr;
      SAFEARRAY* sa = ByteArrayOf(*Arg(p, 1));
      if (!sa) return DISP_E_TYPEMISMATCH;
      std::array<std::uint8_t, kBlockBufferSize> buf{};
      CopyFromArray(sa, buf);
      status = device_.WriteSMBusBlock(static_cast<std::uint8_t>(cmd), buf,
                                       static_cast<std::int16_t>(length),
                                       static_cast<std::int16_t>(addr));
      break;
    }
    case 6:  // WriteSMBusCommand cmd, addr
      in(0, cmd);
      in(1, addr);
      if (FAILED(hr)) return hr;
      status = device_.WriteSMBusCommand(static_cast<std::uint8_t>(cmd),
                                         static_cast<std::int16_t>(addr));
      break;
    case 7:
      status = device_.CheckForError();
      break;
    case 8: {
      long ms = 0;
      in(0, ms);
      if (FAILED(hr)) return hr;
      status = device_.Delay(static_cast<std::int32_t>(ms));
      break;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  if (FAILED(hr)) return hr;
  if (result) {
    VariantInit(result);
    V_VT(result) = VT_I4;
    V_I4(result) = status;
  }
  return S_OK;
}

}  // namespace vx::win
