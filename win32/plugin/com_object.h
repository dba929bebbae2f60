// The reference count that every COM object of ours keeps, once: a base that implements
// AddRef and Release for all the interfaces an object derives from, and deletes the object
// when the last reference goes.
#pragma once

#include "plugin/win.h"

namespace vx::win {

template <typename... Interfaces>
class ComObject : public Interfaces... {
 public:
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  STDMETHODIMP_(ULONG) Release() override {
    const auto n = static_cast<ULONG>(InterlockedDecrement(&refs_));
    if (n == 0) delete this;
    return n;
  }
  ULONG refs() const { return static_cast<ULONG>(refs_); }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 private:
  LONG refs_ = 1;  // the creator's reference
};

}  // namespace vx::win
