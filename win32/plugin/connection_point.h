// The control's event source. Cal raises no events, but containers advise on the default
// source interface when they site a control, so the empty interface __Cal has a connection
// point that accepts sinks and never calls them.
#pragma once

#include "plugin/win.h"

#include <map>

namespace vx::win {

class EmptyConnectionPoint final : public IConnectionPoint {
 public:
  EmptyConnectionPoint(IConnectionPointContainer* owner, REFIID iid);
  ~EmptyConnectionPoint();
  EmptyConnectionPoint(const EmptyConnectionPoint&) = delete;
  EmptyConnectionPoint& operator=(const EmptyConnectionPoint&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** cpc) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** e) override;

 private:
  long refs_ = 1;
  IConnectionPointContainer* owner_;  // keeps the control alive while the point lives
  IID iid_;
  std::map<DWORD, IUnknown*> sinks_;
  DWORD next_cookie_ = 1;
};

}  // namespace vx::win
