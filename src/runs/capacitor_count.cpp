#include "runs/capacitor_count.h"

#include "device/commands.h"
#include "device/dataflash.h"
#include "device/numeric.h"

namespace vx {

std::shared_ptr<SMBusAdapter> RequireAdapter(PageHost& host) {
  std::shared_ptr<SMBusAdapter> a = host.Module().adapter;
  if (!a) throw RunTimeError("Object variable not set: the host supplied no adapter object");
  return a;
}

std::int32_t ReadNumberofConfiguredCapacitors(PageHost& host) {
  auto adapter = RequireAdapter(host);
  CalFields& f = host.Fields();
  BlockBuffer buffer{};
  std::int16_t length = 32;
  // An empty block holds no count.
  Status s =
      ReadDataFlashBlock(*adapter, f.nTargetAddr, cmd::kSubclassOperationCfg, buffer, length, 1);
  if (s != 0) {
    host.GetPlatform().MessageBox(
        "Error reading the number of configured series capacitors from Dataflash.",
        "Supercapacitor Calibration", Buttons::kOk);
    f.nCapCount = 5;
  } else {
    int count = (buffer[0] & 7) + 1;
    f.nCapCount = static_cast<std::int16_t>(count);
    if (count > 5 || count < 2) {
      host.GetPlatform().MessageBox(
          "Number of configured series capacitors in Operation Cfg is not supported. This "
          "device supports 2 to 5 series capacitors. Current Configuration is for " +
              std::to_string(count) +
              " series capacitors. Please correct by setting bits CC2, CC1, and CC0 in "
              "Operation Cfg.",
          "", Buttons::kOk);
      return 1;
    }
  }
  host.Form().At("txtCellCount").SetText(std::to_string(f.nCapCount));
  return 0;
}

}  // namespace vx
