// A control Cal in a test container: virtual-time platform, simulated device as "Parent",
// Config.ini in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "control/cal.h"
#include "control/module.h"
#include "platform/virtual_platform.h"
#include "sim/sim_device.h"
#include "test_files.h"

namespace vx::testing {

class TestContainer : public IContainer {
 public:
  VirtualPlatform platform;
  std::shared_ptr<sim::SimDevice> device;

  explicit TestContainer(sim::SimState state)
      : device(std::make_shared<sim::SimDevice>(platform, std::move(state))) {}
  Platform& AmbientPlatform() override { return platform; }
  std::shared_ptr<SMBusAdapter> GetObjectProperty(const std::string& name) override {
    if (name != "Parent") return nullptr;
    return device;
  }
};

struct CalDeleter {
  void operator()(Cal* c) const { c->Release(); }
};
using CalPtr = std::unique_ptr<Cal, CalDeleter>;

class PageTest : public ::testing::Test {
 protected:
  explicit PageTest(sim::SimState state = sim::DefaultState(5)) : box(std::move(state)) {
    ResetThisThreadModule();
    config = dir.Write("Config.ini", "[D800]\nDVMAC=0\n");
    cal.reset(new Cal());
    cal->SetClientSite(&box);
    cal->SetConfigFolder(dir.path());
    std::string info = "800.1.02";
    cal->TargetInfo(info);
    std::int16_t addr = 0x16;
    cal->TargetAddress(addr);
  }
  ~PageTest() override {
    cal.reset();
    ResetThisThreadModule();
  }

  FormModel& form() { return cal->Form(); }
  Control& At(std::string_view name, int index = -1) { return form().At(name, index); }
  const std::string& Text(std::string_view name, int index = -1) {
    return form().At(name, index).text();
  }
  sim::SimDevice& dev() { return *box.device; }
  VirtualPlatform& platform() { return box.platform; }
  // Shows the control and forgets the show's own messages and traffic.
  void ShowFresh() {
    cal->OnShow();
    platform().TakeMessages();
    dev().ClearLog();
  }
  std::vector<std::string> MessageTexts() {
    std::vector<std::string> out;
    for (const auto& m : platform().messages())
      out.push_back(m.text);
    return out;
  }
  // Records every value a control takes from now on.
  std::vector<int>& RecordValues(const std::string& key) {
    auto& values = recorded_[key];
    // No state in the observer itself: the model calls copies of its observers, so a value
    // that came back to an earlier one would be missed.
    form().AddObserver([key, &values, first = form().Find(key)->value()](const Control& c) {
      if (c.Key() == key && c.value() != (values.empty() ? first : values.back()))
        values.push_back(c.value());
    });
    return values;
  }

  testing::TempDir dir;
  std::string config;
  TestContainer box;
  CalPtr cal;

 private:
  std::map<std::string, std::vector<int>> recorded_;
};

}  // namespace vx::testing
