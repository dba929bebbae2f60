#include "hosts/station/restore.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "device/commands.h"
#include "device/dataflash.h"
#include "device/numeric.h"
#include "device/utils.h"

namespace vx {

namespace {

// Writes an image's block back: select, the same short wait as the runs, the block, the
// device's write time. The subclass joins `written` as soon as the block has gone to the device
// (a stop at the end of the write time still finds it there).
bool WriteBack(SMBusAdapter& bus, Platform& p, std::int16_t addr, const records::Image& img,
               std::vector<int>& written) {
  BlockBuffer block{};
  if (img.bytes.size() != static_cast<std::size_t>(kSmbusBlockMax)) return false;
  std::copy(img.bytes.begin(), img.bytes.end(), block.begin());
  Status s = SelectSubclass(bus, addr, static_cast<std::int16_t>(img.subclass));
  DelayMs(p, 2);
  if (s == 0) s = WriteDataFlashBlock(bus, addr, block, kSmbusBlockMax);
  if (s == 0) written.push_back(img.subclass);
  bus.Delay(120);
  return s == 0;
}

const records::Image* ImageOf(const std::vector<records::Image>& images, int subclass) {
  for (const auto& i : images) {
    if (i.subclass == subclass && i.status == 0) return &i;
  }
  return nullptr;
}

int Capacitors(const records::Image& cfg) {
  return (cfg.bytes.at(0) & 7) + 1;
}

// Why the images of one side of a record cannot be those of this device, or "".
std::string CheckImages(const std::vector<records::Image>& images, const std::string& side) {
  std::set<int> seen;
  int capacitors = 5;
  for (const auto& img : images) {
    const std::string name = "the " + side + "-image of subclass " + std::to_string(img.subclass);
    if (img.subclass != cmd::kSubclassCalibrationData &&
        img.subclass != cmd::kSubclassOperationCfg) {
      return "the " + side + "-images hold subclass " + std::to_string(img.subclass) +
             ", which a record never holds (only 64 and 104)";
    }
    if (!seen.insert(img.subclass).second) {
      return "the " + side + "-images hold subclass " + std::to_string(img.subclass) + " twice";
    }
    if (img.status != 0) continue;  // not read: nothing of it is used
    if (img.bytes.size() != static_cast<std::size_t>(kSmbusBlockMax)) {
      return name + " holds " + std::to_string(img.bytes.size()) + " bytes, not one block of " +
             std::to_string(kSmbusBlockMax);
    }
    if (img.subclass == cmd::kSubclassOperationCfg) {
      capacitors = Capacitors(img);
      if (capacitors < 2 || capacitors > 5) {
        return name + " configures " + std::to_string(capacitors) +
               " series capacitors (2 to 5 are possible)";
      }
    }
  }
  if (const records::Image* cal = ImageOf(images, cmd::kSubclassCalibrationData)) {
    std::vector<std::pair<std::string, int>> gains;
    for (int k = 0; k < capacitors; ++k)
      gains.emplace_back("Capacitor " + std::to_string(k + 1), cmd::kCellGainOffset[k]);
    gains.emplace_back("System voltage", cmd::kSystemGainOffset);
    gains.emplace_back("Stack voltage", cmd::kStackGainOffset);
    for (const auto& [gain, offset] : gains) {
      const std::int16_t g = BlockWord(cal->bytes, offset);
      if (g <= 0) {
        return "the " + side + "-image of subclass 104 holds a " + gain + " gain of " +
               std::to_string(g) + ", which no device holds (it must be above 0)";
      }
    }
  }
  return "";
}

}  // namespace

RestorePlan PlanRestore(const records::RunRecord& r) {
  RestorePlan plan;
  plan.record = r;
  const std::string name = "record " + std::to_string(r.id);
  for (const auto& img : r.before) {
    if (img.status == 0 && !img.bytes.empty()) plan.images.push_back(img);
  }
  std::string why = CheckImages(r.before, "before");
  if (why.empty()) why = CheckImages(r.after, "after");
  if (why.empty() && plan.images.empty()) why = "it holds no data flash image to restore";
  if (!why.empty()) plan.refused = name + ": " + why + "; nothing was written";
  return plan;
}

std::string RestoreQuestion(const records::RunRecord& r) {
  return "Restore the data flash of record " + std::to_string(r.id) + " (" + r.run + " of unit " +
         (r.unit.empty() ? "-" : r.unit) + " at " + r.time_utc +
         ") to the device as it was before that run?";
}

std::vector<std::string> DeviceDifferences(Station& s, const records::RunRecord& r,
                                           const std::string& unit) {
  std::vector<std::string> out;
  const HostProperties& p = s.properties;
  if (r.address != p.target_address) {
    out.push_back("the record is of address " + Hex2(static_cast<unsigned>(r.address)) +
                  ", the device here is at " + Hex2(static_cast<unsigned>(p.target_address)));
  }
  if (r.target_info != p.target_info) {
    out.push_back("the record is of target info " + r.target_info + ", this device's is " +
                  p.target_info);
  }
  if (!unit.empty() && unit != r.unit) {
    out.push_back("the record is of unit " + (r.unit.empty() ? "-" : r.unit) + ", not " + unit);
  }
  const auto now = ReadImages(s.device().direct(), p.target_address);
  const records::Image* cfg_now = ImageOf(now, cmd::kSubclassOperationCfg);
  const records::Image* cfg_then = ImageOf(r.before, cmd::kSubclassOperationCfg);
  if (!cfg_now || !ImageOf(now, cmd::kSubclassCalibrationData)) {
    out.push_back("the device's data flash cannot be read");
    return out;
  }
  if (cfg_then && cfg_then->bytes != cfg_now->bytes) {
    out.push_back("the device's Operation Cfg differs from the record's (" +
                  std::to_string(Capacitors(*cfg_then)) + " series capacitors there, " +
                  std::to_string(Capacitors(*cfg_now)) + " here)");
  }
  const records::Image* cal_after = ImageOf(r.after, cmd::kSubclassCalibrationData);
  if (!cal_after) {
    // Nothing to compare the device with: the identity above is all there is to go by.
    out.push_back("record " + std::to_string(r.id) + " is of a run that did not end (" + r.outcome +
                  "): the device cannot be compared with what that run left");
  } else if (cal_after->bytes != ImageOf(now, cmd::kSubclassCalibrationData)->bytes) {
    out.push_back(
        "the device's CalibrationData is not as the record's run left it: a later calibration "
        "would be undone");
  }
  return out;
}

RestoreResult Restore(Station& s, const RestorePlan& plan, const std::vector<std::string>& forced) {
  RestoreResult out;
  const std::int16_t addr = s.properties.target_address;
  SMBusAdapter& bus = *s.device().bus();
  bool ok = true;
  out.run = s.Run(
      *RunNamed("restore"),
      [&] {
        // Only the blocks that differ from the device's now are written.
        auto now = ReadImages(bus, addr);
        for (const auto& img : plan.images) {
          const records::Image* cur = ImageOf(now, img.subclass);
          if (cur && cur->bytes == img.bytes) continue;
          if (s.interrupt().requested()) return;  // no new block once a stop is asked for
          ok = WriteBack(bus, s.platform(), addr, img, out.written) && ok;
        }
        auto back = ReadImages(bus, addr);
        out.verified = ok;
        for (const auto& img : plan.images) {
          const records::Image* b = ImageOf(back, img.subclass);
          out.verified = out.verified && b && b->bytes == img.bytes;
        }
      },
      [&] { return out.verified; },
      [&] {
        records::Json extra{{"restored_record", plan.record.id},
                            {"restored_uid", plan.record.uid},
                            {"written", out.written},
                            {"verified", out.verified}};
        if (!forced.empty()) extra["forced"] = forced;
        return extra;
      });
  return out;
}

}  // namespace vx
