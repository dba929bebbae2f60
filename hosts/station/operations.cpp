// The operations of a station, one for each thing a user does with the device: the hosts only
// ask their questions and show what they return.
#include <algorithm>

#include "hosts/station/page_state.h"
#include "hosts/station/restore.h"
#include "hosts/station/station.h"
#include "records/store.h"

namespace vx {

namespace {

// Why the label a person or a scanner gave cannot name a record, or "".
std::string LabelRefusal(const char* what, std::string& label) {
  const std::string why = records::CleanLabel(label);
  if (why.empty()) return "";
  return "the " + std::string(what) + " label " + why + " (at most " +
         std::to_string(records::kMaxLabel) + " characters, no control characters)";
}

// A limits file that checks none of the readings the run calibrates would pass any unit.
std::string LimitsRefusal(const Limits& limits, FormModel& f, const RunKind& kind) {
  const auto calibrated = ReadingsCalibratedBy(f, kind);
  std::string readings;
  for (const std::string& name : calibrated) {
    if (limits.max_residual.count(name)) return "";
    readings += (readings.empty() ? "" : ", ") + name;
  }
  return "the limits file " + limits.file + " checks none of the readings this run calibrates" +
         (readings.empty() ? " (it calibrates none that a limit can check)"
                           : " (" + readings + ")");
}

bool IsNumber(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), ::isdigit);
}

}  // namespace

RunResult Station::PageRun(const RunKind& kind, const Json& extra) {
  std::vector<std::string> refused;
  for (auto [what, label] : {std::pair{"unit", &info.unit}, {"operator", &info.operator_name}}) {
    if (std::string why = LabelRefusal(what, *label); !why.empty()) refused.push_back(why);
  }
  if (limits && control_.loaded()) {
    if (std::string why = LimitsRefusal(*limits, control_.form(), kind); !why.empty()) {
      refused.push_back(why);
    }
  }
  if (!refused.empty()) return Refused(kind, refused);
  std::string error;
  auto hold = device_.Lock(bus_wait, error);
  if (!hold) return Refused(kind, {error});
  // What speaks against the run is put to the user; the objections he goes on past are kept.
  const std::vector<std::string> objections = Objections(kind);
  if (!objections.empty() &&
      !ui_->Ask(Question::kObjections, "Before the run starts:", objections)) {
    return Refused(kind, objections);
  }
  RunResult r = Run(kind, nullptr, nullptr, [&] {
    Json j = extra;
    if (!objections.empty()) j["references trusted"] = objections;
    return j;
  });
  SaveState();
  ui_->Show(r.outcome);
  return r;
}

RunResult Station::RestoreRecord(const std::string& which, bool force) {
  const RunKind& kind = *RunNamed("restore");
  std::optional<records::RunRecord> r;
  try {
    if (IsNumber(which)) {
      r = records::OpenStore(info.store(), records::Access::kRead)->Get(std::stoll(which));
      if (!r) return Refused(kind, {"there is no record " + which});
    } else {
      r = records::ReadRecordFile(which);
    }
  } catch (const records::StoreError&) {
    throw;
  } catch (const std::exception& e) {  // a file that holds no record
    return Refused(kind, {records::Printable(e.what()) + "; nothing was written"});
  }
  const RestorePlan plan = PlanRestore(*r);
  if (!plan.refused.empty()) return Refused(kind, {records::Printable(plan.refused)});
  std::string error;
  auto hold = device_.Lock(bus_wait, error);
  if (!hold) return Refused(kind, {"not restored: " + error});
  std::vector<std::string> differences = DeviceDifferences(*this, *r, info.unit);
  for (std::string& d : differences)
    d = records::Printable(d);
  if (!differences.empty()) {
    if (force) {
      for (const std::string& d : differences)
        ui_->Warn("forced: " + d);
    } else if (!ui_->Ask(Question::kDifferences,
                         "The device is not the unit of record " + std::to_string(r->id) +
                             " as its run left it:",
                         differences)) {
      differences.push_back("not restored, nothing was written");
      return Refused(kind, differences);
    }
  }
  // The restore is the connected unit's: the one named, else the record's when the device was
  // found to be that unit.
  const std::string named = info.unit;
  std::string unit = r->unit;
  if (named.empty() && differences.empty() && records::CleanLabel(unit).empty()) info.unit = unit;
  if (!ui_->Ask(Question::kConfirm, records::Printable(RestoreQuestion(*r)),
                {kRestoreCannotUndo})) {
    info.unit = named;
    return Refused(kind, {"not restored"});
  }
  RestoreResult restored = Restore(*this, plan, differences);
  info.unit = named;
  SaveState();
  RunResult& out = restored.run;
  if (!out.interrupted()) {
    const std::string id = std::to_string(r->id);
    out.outcome.said =
        (restored.verified
             ? "Restored and verified: the data flash reads back as before record " + id
             : "Restore not verified: the data flash does not read back as before "
               "record " +
                   id) +
        ". " + kRestoreCannotUndo;
    out.outcome.details = {{"verified", restored.verified},
                           {"written", restored.written},
                           {"forced", differences},
                           {"cannot_undo", kRestoreCannotUndo}};
  }
  ui_->Show(out.outcome);
  return out;
}

}  // namespace vx
