#include "plugin/connection_point.h"

namespace vx::win {

EmptyConnectionPoint::EmptyConnectionPoint(IConnectionPointContainer* owner, REFIID iid)
    : owner_(owner), iid_(iid) {
  owner_->AddRef();
}

EmptyConnectionPoint::~EmptyConnectionPoint() {
  for (auto& [cookie, sink] : sinks_)
    sink->Release();
  owner_->Release();
}

STDMETHODIMP EmptyConnectionPoint::QueryInterface(REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP EmptyConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

STDMETHODIMP EmptyConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** cpc) {
  if (!cpc) return E_POINTER;
  *cpc = owner_;
  owner_->AddRef();
  return S_OK;
}

STDMETHODIMP EmptyConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  try {
    sinks_[next_cookie_] = sink;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  sink->AddRef();
  *cookie = next_cookie_++;
  return S_OK;
}

STDMETHODIMP EmptyConnectionPoint::Unadvise(DWORD cookie) {
  auto it = sinks_.find(cookie);
  if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
  it->second->Release();
  sinks_.erase(it);
  return S_OK;
}

STDMETHODIMP EmptyConnectionPoint::EnumConnections(IEnumConnections** e) {
  if (e) *e = nullptr;
  return E_NOTIMPL;
}

}  // namespace vx::win
