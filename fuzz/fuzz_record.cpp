// Arbitrary record JSON through the record's reading, the restore's checks and the restore
// itself onto the simulator in virtual time: no crash, no undefined behaviour, and nothing but
// whole blocks of the two subclasses a record holds ever reaches the device.
#include <cstdint>
#include <string>

#include "hosts/station/restore.h"
#include "platform/console_platform.h"
#include "sim/sim_device.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vx::records::RunRecord r;
  try {
    r = vx::records::FromText(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const std::exception&) {
    return 0;  // refused with a reason: that is the point
  }
  vx::ConsolePlatform platform(true);
  vx::Station station(platform, platform.interrupt);
  station.info.records = std::nullopt;  // nothing recorded
  std::string error;
  if (!station.device().Open({true, "", "", 0x0B, false}, error)) __builtin_trap();
  vx::RestorePlan plan = vx::PlanRestore(r);
  if (!plan.refused.empty()) return 0;
  station.device().simulator()->ClearLog();
  vx::DeviceDifferences(station, r, "");
  vx::Restore(station, plan, {"fuzzing"});
  for (const auto& t : station.device().simulator()->log()) {
    if (t.method == vx::AdapterMethod::kWriteSMBusBlock && t.bytes.size() != 32) __builtin_trap();
  }
  for (const auto& [subclass, block] : station.device().simulator()->state().dataflash) {
    if (subclass != 64 && subclass != 104) __builtin_trap();
  }
  return 0;
}
