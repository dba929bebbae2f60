#include "hosts/station/run_recorder.h"

#include <pwd.h>
#include <unistd.h>

#include "device/commands.h"
#include "device/dataflash.h"
#include "hosts/station/page_state.h"
#include "records/store.h"

namespace vx {

namespace {

std::string HostName() {
  char buf[256] = "";
  gethostname(buf, sizeof buf - 1);
  return buf;
}

std::string LoginName() {
  if (const passwd* pw = getpwuid(getuid())) return pw->pw_name;
  const char* user = getenv("USER");
  return user ? user : "";
}

}  // namespace

std::vector<records::Image> ReadImages(SMBusAdapter& adapter, std::int16_t addr) {
  std::vector<records::Image> out;
  for (std::int16_t sub : {cmd::kSubclassCalibrationData, cmd::kSubclassOperationCfg}) {
    BlockBuffer block{};
    std::int16_t length = kSmbusBlockMax;
    Status s = ReadDataFlashBlock(adapter, addr, sub, block, length);
    std::size_t n = s == 0 && length > 0 ? static_cast<std::size_t>(length) : 0;
    out.push_back({sub, {block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n)}, s});
  }
  return out;
}

std::string OutcomeOf(bool done, bool interrupted, const DeviceAccount& account) {
  if (interrupted) return "interrupted";
  if (done) return "done";
  return account.failed_transfers() > 0 || account.changed() ? "failed" : "refused";
}

std::vector<std::string> TookEffect(const records::RunRecord& r, const DeviceAccount& account) {
  std::vector<std::string> out;
  const auto before = records::Gains(r.before), after = records::Gains(r.after);
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
    if (before[i].second != after[i].second) {
      out.push_back(before[i].first + " " + std::to_string(before[i].second) + " -> " +
                    std::to_string(after[i].second));
    }
  }
  for (const auto& b : r.before) {
    for (const auto& a : r.after) {
      if (b.subclass == cmd::kSubclassOperationCfg && a.subclass == b.subclass && b.status == 0 &&
          a.status == 0 && a.bytes != b.bytes) {
        out.emplace_back("Operation Cfg");
      }
    }
  }
  if (account.stores() > 0) {
    out.push_back("the device stored " +
                  std::string(account.stores() == 1 ? "a calibration" : "calibrations") +
                  " of its own");
  }
  return out;
}

RunRecorder::RunRecorder(const StationInfo& info, SMBusAdapter& device, std::int16_t addr,
                         FormModel* page)
    : info_(info), device_(device), addr_(addr), page_(page), trail_(info.store()) {}

void RunRecorder::Begin(const RunKind& run, const std::string& device_name,
                        const std::string& target_info) {
  r_ = records::RunRecord{};
  r_.time_utc = records::NowUtc();
  r_.station = info_.station.empty() ? HostName() : info_.station;
  r_.operator_name = info_.operator_name.empty() ? LoginName() : info_.operator_name;
  r_.unit = info_.unit;
  r_.device = device_name;
  r_.address = addr_;
  r_.target_info = target_info;
  r_.run = std::string(run.id);
  r_.uid = records::NewUid();
  r_.program = info_.program;
  if (info_.keeps_records()) r_.before = ReadImages(device_, addr_);
  if (!page_) return;
  RunInputs in = InputsFor(*page_, run);
  r_.ticked = in.ticked;
  r_.references = in.references;
  page_->Tick("tmrScan");
  r_.readings_before = ReadingsJson(*page_);
}

void RunRecorder::Observe() {
  if (page_) {
    page_->Tick("tmrScan");
    r_.readings_after = ReadingsJson(*page_);
    r_.residuals = Residuals(r_.references, r_.readings_after);
  }
  if (info_.keeps_records()) r_.after = ReadImages(device_, addr_);
}

void RunRecorder::StartTrail() {
  if (info_.keeps_records()) trail_.Start(r_);
}

records::Kept RunRecorder::Store(const std::string& outcome,
                                 const std::vector<std::string>& messages) {
  r_.outcome = outcome;
  r_.messages = messages;
  if (!info_.keeps_records()) return {};
  return trail_.Finish(r_);
}

}  // namespace vx
