// The container the control is placed in: it hands out the host's platform and one adapter as
// "Parent" (the station's open device, or a program's own adapter).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
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

// The properties a host writes into the control before it shows it.
struct HostProperties {
  std::int16_t target_address = 0x16;
  std::string target_info = "800.1.02";
  std::string config_folder;          // empty: the plug-in's own folder
  std::optional<std::int16_t> dvmac;  // written when the host sets it
};

// What a host does to put the control on screen: give it its site, write the properties, show.
inline void PlaceAndShow(ICal& cal, IContainer& site, const HostProperties& p) {
  cal.SetClientSite(&site);
  if (!p.config_folder.empty()) cal.SetConfigFolder(p.config_folder);
  std::int16_t addr = p.target_address;
  std::string info = p.target_info;
  cal.TargetAddress(addr);
  if (p.dvmac) {
    std::int16_t mac = *p.dvmac;
    cal.DVMAC(mac);
  }
  cal.TargetInfo(info);
  cal.OnShow();
}

}  // namespace vx
