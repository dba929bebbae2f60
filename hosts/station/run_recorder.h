// The record of a run, as a station keeps it around the page: before the run it reads the data
// flash blocks the run may change and takes one scan; afterwards the same again, each
// calibrated reading's residual, the outcome, and into the store (or, when the store cannot
// take it, a file beside it).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device/smbus_adapter.h"
#include "form/form_model.h"
#include "hosts/station/recording_adapter.h"
#include "hosts/station/run_kinds.h"
#include "records/record.h"
#include "records/store.h"

namespace vx {

// Who and where, as the host knows them.
struct StationInfo {
  // Where records go (records::OpenStore: "" the default store); none: no records are kept.
  std::optional<std::string> records = std::string();
  std::string station;        // empty: the host name
  std::string operator_name;  // empty: the login name
  std::string unit;
  std::string program;  // "vx58420cal 0.0.2"
  bool keeps_records() const { return records.has_value(); }
  // The store that queries and restores read: the one named, else the default.
  std::string store() const { return records.value_or(""); }
};

// The blocks a run may change: CalibrationData (104), and Operation Cfg (64), which it reads.
std::vector<records::Image> ReadImages(SMBusAdapter& adapter, std::int16_t addr);

// done, interrupted, failed (a transfer failed or the device was written), or refused (the page
// stopped on its own checks before the device was touched).
std::string OutcomeOf(bool done, bool interrupted, const DeviceAccount& account);

// What a run changed on the device, each in a few words: every gain of CalibrationData that its
// images show changed ("System voltage gain 20500 -> 20098"), Operation Cfg, and the
// calibrations the device stored itself. Empty when nothing took effect.
std::vector<std::string> TookEffect(const records::RunRecord& r, const DeviceAccount& account);

class RunRecorder {
 public:
  // device: the station's own way to the device, which the trace does not list. page: the page
  // whose scan gives the readings, or none (raw bus access, a restore).
  RunRecorder(const StationInfo& info, SMBusAdapter& device, std::int16_t addr, FormModel* page);

  // Before the run: images, one scan, what was ticked and typed for it; the record stored as
  // "incomplete" at once.
  void Begin(const RunKind& run, const std::string& device_name, const std::string& target_info);
  // Stores the record as "incomplete" now, with what it holds (after Begin).
  void StartTrail();
  // After the run: one scan, the images again, each calibrated reading's residual.
  void Observe();
  records::RunRecord& record() { return r_; }
  // Stores the record, else keeps it in a file and says where.
  records::Kept Store(const std::string& outcome, const std::vector<std::string>& messages);

 private:
  StationInfo info_;
  SMBusAdapter& device_;
  std::int16_t addr_;
  FormModel* page_;
  records::RunRecord r_;
  records::Trail trail_;
};

}  // namespace vx
