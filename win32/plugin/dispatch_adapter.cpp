#include "plugin/dispatch_adapter.h"

#include "plugin/automation.h"

#include <algorithm>
#include <string>
#include <vector>

namespace vx::win {

namespace {

// The method's name as the object's late binding takes it.
std::wstring WideName(std::size_t m) {
  const std::string_view name = kAdapterMethodNames[m];
  return std::wstring(name.begin(), name.end());
}

// A one-dimensional byte array, index 0 first, as the adapter methods take their data.
class ByteArray {
 public:
  explicit ByteArray(std::size_t n) {
    SAFEARRAYBOUND b{static_cast<ULONG>(n), 0};
    sa_ = SafeArrayCreate(VT_UI1, 1, &b);
  }
  ~ByteArray() {
    if (sa_) SafeArrayDestroy(sa_);
  }
  ByteArray(const ByteArray&) = delete;
  ByteArray& operator=(const ByteArray&) = delete;
  SAFEARRAY** slot() { return &sa_; }
  // The callee may have replaced the array with one of another size or lower bound.
  SAFEARRAY* get() const { return sa_; }
  bool ok() const { return sa_ != nullptr; }

 private:
  SAFEARRAY* sa_ = nullptr;
};

}  // namespace

DispatchAdapter::DispatchAdapter(IDispatch* object) : object_(object) {
  if (object_) object_->AddRef();
}

DispatchAdapter::~DispatchAdapter() {
  if (object_) object_->Release();
}

Status DispatchAdapter::Call(AdapterMethod method, VARIANTARG* args, UINT count) {
  if (!object_) return static_cast<Status>(E_POINTER);
  const auto m = static_cast<std::size_t>(method);
  if (!looked_up_[m]) {
    std::wstring wide = WideName(m);
    LPOLESTR name = wide.data();
    HRESULT hr = object_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &ids_[m]);
    if (FAILED(hr)) return static_cast<Status>(hr);
    looked_up_[m] = true;
  }
  std::vector<VARIANTARG> reversed(args, args + count);
  std::reverse(reversed.begin(), reversed.end());
  DISPPARAMS params{reversed.data(), nullptr, count, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO ex{};
  UINT bad_arg = 0;
  HRESULT hr = object_->Invoke(ids_[m], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                               &result, &ex, &bad_arg);
  SysFreeString(ex.bstrSource);
  SysFreeString(ex.bstrDescription);
  SysFreeString(ex.bstrHelpFile);
  if (FAILED(hr)) {
    VariantClear(&result);
    return static_cast<Status>(hr == DISP_E_EXCEPTION && FAILED(ex.scode) ? ex.scode : hr);
  }
  // A Sub, or a Function that returned nothing, counts as success.
  if (V_VT(&result) == VT_EMPTY) return 0;
  hr = VariantChangeType(&result, &result, 0, VT_I4);
  if (FAILED(hr)) {
    VariantClear(&result);
    return static_cast<Status>(hr);
  }
  return static_cast<Status>(V_I4(&result));
}

Status DispatchAdapter::ReadSMBusWord(std::uint8_t cmd, std::uint8_t& hi, std::uint8_t& lo,
                                      std::int16_t addr) {
  BYTE c = cmd, h = hi, l = lo;
  SHORT a = addr;
  VARIANTARG args[] = {ByRef(&c), ByRef(&h), ByRef(&l), ByRef(&a)};
  Status s = Call(AdapterMethod::kReadSMBusWord, args, 4);
  hi = h;
  lo = l;
  return s;
}

Status DispatchAdapter::ReadSMBusWord_(std::uint8_t cmd, std::int16_t& value, std::int16_t addr) {
  BYTE c = cmd;
  SHORT v = value, a = addr;
  VARIANTARG args[] = {ByRef(&c), ByRef(&v), ByRef(&a)};
  Status s = Call(AdapterMethod::kReadSMBusWord_, args, 3);
  value = v;
  return s;
}

Status DispatchAdapter::WriteSMBusWord(std::uint8_t cmd, std::uint8_t hi, std::uint8_t lo,
                                       std::int16_t addr) {
  BYTE c = cmd, h = hi, l = lo;
  SHORT a = addr;
  VARIANTARG args[] = {ByRef(&c), ByRef(&h), ByRef(&l), ByRef(&a)};
  return Call(AdapterMethod::kWriteSMBusWord, args, 4);
}

Status DispatchAdapter::WriteSMBusWord_(std::uint8_t cmd, std::int16_t value, std::int16_t addr) {
  BYTE c = cmd;
  SHORT v = value, a = addr;
  VARIANTARG args[] = {ByRef(&c), ByRef(&v), ByRef(&a)};
  return Call(AdapterMethod::kWriteSMBusWord_, args, 3);
}

Status DispatchAdapter::ReadSMBusBlock_(std::uint8_t cmd, std::span<std::uint8_t> data,
                                        std::int16_t& length, std::int16_t addr) {
  ByteArray array(std::max<std::size_t>(data.size(), kBlockBufferSize));
  if (!array.ok()) return static_cast<Status>(E_OUTOFMEMORY);
  BYTE c = cmd;
  SHORT n = length, a = addr;
  VARIANTARG args[] = {ByRef(&c), ByRef(array.slot()), ByRef(&n), ByRef(&a)};
  Status s = Call(AdapterMethod::kReadSMBusBlock_, args, 4);
  CopyFromArray(array.get(), data);
  length = n;
  return s;
}

Status DispatchAdapter::WriteSMBusBlock(std::uint8_t cmd, std::span<const std::uint8_t> data,
                                        std::int16_t length, std::int16_t addr) {
  ByteArray array(std::max<std::size_t>(data.size(), kBlockBufferSize));
  if (!array.ok()) return static_cast<Status>(E_OUTOFMEMORY);
  CopyToArray(array.get(), data);
  BYTE c = cmd;
  SHORT n = length, a = addr;
  VARIANTARG args[] = {ByRef(&c), ByRef(array.slot()), ByRef(&n), ByRef(&a)};
  return Call(AdapterMethod::kWriteSMBusBlock, args, 4);
}

Status DispatchAdapter::WriteSMBusCommand(std::uint8_t cmd, std::int16_t addr) {
  BYTE c = cmd;
  SHORT a = addr;
  VARIANTARG args[] = {ByRef(&c), ByRef(&a)};
  return Call(AdapterMethod::kWriteSMBusCommand, args, 2);
}

Status DispatchAdapter::CheckForError() {
  return Call(AdapterMethod::kCheckForError, nullptr, 0);
}

Status DispatchAdapter::Delay(std::int32_t ms) {
  LONG m = ms;
  VARIANTARG args[] = {ByRef(&m)};
  return Call(AdapterMethod::kDelay, args, 1);
}

}  // namespace vx::win
