// The control's event source. Cal raises no events, but containers advise on the default
// source interface when they site a control, so the empty interface __Cal has a connection
// point that accepts sinks and never calls them.
#pragma once

#include "plugin/com_object.h"

#include <map>

namespace vx::win {

class EmptyConnectionPoint final : public ComObject<IConnectionPoint> {
 public:
  EmptyConnectionPoint(IConnectionPointContainer* owner, REFIID iid);

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** cpc) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** e) override;

 private:
  ~EmptyConnectionPoint() override;

  IConnectionPointContainer* owner_;  // keeps the control alive while the point lives
  IID iid_;
  std::map<DWORD, IUnknown*> sinks_;
  DWORD next_cookie_ = 1;
};

}  // namespace vx::win
