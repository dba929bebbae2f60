// An adapter object as a host supplies one: a plain IDispatch whose methods carry the
// adapter's names and answer from the simulated device. It takes its arguments the way a
// late-bound caller hands them over (by reference or by value), writes out values through the
// references, and remembers how each method was called.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/console_platform.h"
#include "plugin/com_object.h"
#include "sim/sim_device.h"

namespace vx::win {

class AdapterObject final : public ComObject<IDispatch> {
 public:
  // The object owns its device (and the device's real-time clock): a control may keep the
  // object after its container is gone, as module-level state outlives a control.
  explicit AdapterObject(sim::SimState state);
  sim::SimDevice& device() { return device_; }

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
  STDMETHODIMP GetTypeInfoCount(UINT* n) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* ex, UINT* arg_err) override;

  struct Calls {
    int count = 0;
    bool all_by_reference = true;           // every argument of every call came by reference
    std::vector<VARTYPE> first_call_types;  // argument types of the first call, in call order
  };
  const std::map<std::string, Calls>& calls() const { return calls_; }
  int lookups() const { return lookups_; }

 private:
  ~AdapterObject() override = default;
  HRESULT Dispatch(int method, DISPPARAMS& p, VARIANT* result);

  ConsolePlatform clock_;
  sim::SimDevice device_;
  std::map<std::string, Calls> calls_;
  int lookups_ = 0;
};

}  // namespace vx::win
