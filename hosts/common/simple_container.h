// A container that hands out one platform and one adapter as "Parent": what a host without a
// window of its own needs to show the control.
#pragma once

#include <memory>
#include <string>

#include "control/cal_api.h"

namespace vx {

class SimpleContainer : public IContainer {
 public:
  SimpleContainer(Platform& platform, std::shared_ptr<SMBusAdapter> adapter)
      : platform_(platform), adapter_(std::move(adapter)) {}
  Platform& AmbientPlatform() override { return platform_; }
  std::shared_ptr<SMBusAdapter> GetObjectProperty(const std::string& name) override {
    return name == "Parent" ? adapter_ : nullptr;
  }
  void SetAdapter(std::shared_ptr<SMBusAdapter> a) { adapter_ = std::move(a); }

 private:
  Platform& platform_;
  std::shared_ptr<SMBusAdapter> adapter_;
};

}  // namespace vx
