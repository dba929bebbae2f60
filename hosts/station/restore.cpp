#include "hosts/station/restore.h"

#include <algorithm>

#include "device/dataflash.h"
#include "device/utils.h"

namespace vx {

namespace {

// Writes an image's block back: select, the same short wait as the runs, the block, the
// device's write time.
bool WriteBack(SMBusAdapter& bus, Platform& p, std::int16_t addr, const records::Image& img) {
  BlockBuffer block{};
  if (img.bytes.size() != static_cast<std::size_t>(kSmbusBlockMax)) return false;
  std::copy(img.bytes.begin(), img.bytes.end(), block.begin());
  Status s = SelectSubclass(bus, addr, static_cast<std::int16_t>(img.subclass));
  DelayMs(p, 2);
  if (s == 0) s = WriteDataFlashBlock(bus, addr, block, kSmbusBlockMax);
  bus.Delay(120);
  return s == 0;
}

}  // namespace

RestorePlan PlanRestore(const records::RunRecord& r) {
  RestorePlan plan;
  plan.record = r.id;
  const std::string name = "record " + std::to_string(r.id);
  for (const auto& img : r.before) {
    if (img.status == 0 && !img.bytes.empty()) plan.images.push_back(img);
  }
  if (plan.images.empty()) {
    plan.refused = name + " holds no data flash image to restore";
    return plan;
  }
  // A block is what the device returns for a subclass: no more, no less is ever written back.
  for (const auto& img : plan.images) {
    if (img.bytes.size() != static_cast<std::size_t>(kSmbusBlockMax)) {
      plan.refused = name + ": the before-image of subclass " + std::to_string(img.subclass) +
                     " holds " + std::to_string(img.bytes.size()) + " bytes, not one block of " +
                     std::to_string(kSmbusBlockMax) + "; nothing was written";
      return plan;
    }
  }
  return plan;
}

std::string RestoreQuestion(const records::RunRecord& r) {
  return "Restore the data flash of record " + std::to_string(r.id) + " (" + r.run + " of unit " +
         (r.unit.empty() ? "-" : r.unit) + " at " + r.time_utc +
         ") to the device as it was before that run?";
}

RestoreResult Restore(Station& s, const RestorePlan& plan) {
  RestoreResult out;
  const std::int16_t addr = s.properties.target_address;
  SMBusAdapter& bus = *s.device().bus();
  out.run = s.Run(
      *RunNamed("restore"),
      [&] {
        // Only the blocks that differ from the device's now are written.
        auto now = ReadImages(bus, addr);
        bool ok = true;
        for (const auto& img : plan.images) {
          auto cur = std::find_if(now.begin(), now.end(),
                                  [&](const auto& n) { return n.subclass == img.subclass; });
          if (cur != now.end() && cur->status == 0 && cur->bytes == img.bytes) continue;
          ok = WriteBack(bus, s.platform(), addr, img) && ok;
          out.written.push_back(img.subclass);
        }
        auto back = ReadImages(bus, addr);
        out.verified = ok;
        for (const auto& img : plan.images) {
          for (const auto& b : back)
            out.verified = out.verified && (b.subclass != img.subclass || b.bytes == img.bytes);
        }
      },
      [&] { return out.verified; },
      [&] {
        return records::Json{
            {"restored_record", plan.record}, {"written", out.written}, {"verified", out.verified}};
      });
  return out;
}

}  // namespace vx
