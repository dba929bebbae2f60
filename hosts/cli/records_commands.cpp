#include "hosts/cli/records_commands.h"

#include <fstream>
#include <iomanip>
#include <sstream>

#include "device/dataflash.h"
#include "device/utils.h"
#include "hosts/common/page_state.h"

namespace vx::cli {

namespace {

using records::RunRecord;

std::unique_ptr<records::Store> Open(const Options& o) {
  return records::OpenStore(o.station.records == "none" ? "" : o.station.records);
}

Json Summary(const RunRecord& r) {
  return Json{{"id", r.id},           {"time_utc", r.time_utc},
              {"station", r.station}, {"operator", r.operator_name},
              {"unit", r.unit},       {"run", r.run},
              {"outcome", r.outcome}, {"residuals", r.residuals}};
}

// The readings a quality engineer charts: each one's residual after the run.
std::vector<std::string> ResidualColumns() {
  std::vector<std::string> cols(std::begin(kVoltageRowNames), std::end(kVoltageRowNames));
  cols.insert(cols.end(), {"System voltage", "Temperature", "Current"});
  return cols;
}

std::string Csv(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string q = "\"";
  for (char c : text)
    q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

std::string Field(const std::string& name, const std::string& value) {
  std::ostringstream line;
  line << "  " << std::left << std::setw(22) << name << value;
  return line.str();
}

// Writes an image's block back: select, the same short wait as the runs, the block, the
// device's write time; then reads it again.
bool WriteBack(SMBusAdapter& bus, Platform& p, std::int16_t addr, const records::Image& img) {
  BlockBuffer block{};
  // The image comes from a record that anybody with access to the store may have written.
  if (img.bytes.size() != static_cast<std::size_t>(kSmbusBlockMax)) return false;
  std::copy(img.bytes.begin(), img.bytes.end(), block.begin());
  Status s = SelectSubclass(bus, addr, static_cast<std::int16_t>(img.subclass));
  DelayMs(p, 2);
  if (s == 0)
    s = WriteDataFlashBlock(bus, addr, block, static_cast<std::int16_t>(img.bytes.size()));
  bus.Delay(120);
  return s == 0;
}

}  // namespace

int RecordsList(const Options& o, const records::Query& q) {
  Out out(o.json);
  auto list = Open(o)->List(q);
  for (const RunRecord& r : list) {
    std::ostringstream line;
    line << std::setw(5) << r.id << "  " << r.time_utc << "  " << std::left << std::setw(12)
         << r.station << " " << std::setw(14) << (r.unit.empty() ? "-" : r.unit) << " "
         << std::setw(22) << r.run << " " << r.outcome;
    out.Print(line.str(), Summary(r));
  }
  if (list.empty()) out.Text("No records.");
  return kExitOk;
}

int RecordsShow(const Options& o, std::int64_t id) {
  Out out(o.json);
  auto r = Open(o)->Get(id);
  if (!r) {
    Out::Error("there is no record " + std::to_string(id));
    return kExitFailed;
  }
  // The gains of CalibrationData before the run and after it.
  auto before = records::Gains(r->before), after = records::Gains(r->after);
  Json gains = Json::array();
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
    gains.push_back(
        {{"gain", before[i].first}, {"old", before[i].second}, {"new", after[i].second}});
  }
  if (out.json()) {
    Json j = records::ToJson(*r);
    j["gains"] = gains;
    out.Object(j);
    return kExitOk;
  }
  out.Text("Record " + std::to_string(r->id) + ": " + r->run + ", " + r->outcome);
  out.Text(Field("time (UTC)", r->time_utc));
  out.Text(Field("station", r->station));
  out.Text(Field("operator", r->operator_name));
  out.Text(Field("unit", r->unit.empty() ? "-" : r->unit));
  out.Text(Field("device", r->device + ", address " + std::to_string(r->address) +
                               ", target info " + r->target_info));
  out.Text(Field("program", r->program));
  for (const auto& t : r->ticked)
    out.Text(Field("ticked", t));
  for (const auto& ref : r->references)
    out.Text(Field("reference", ref.label + " = " + ref.value +
                                    (ref.source.is_null() ? "" : " (" + ref.source.dump() + ")")));
  out.Text(Field("readings before", r->readings_before.dump()));
  out.Text(Field("readings after", r->readings_after.dump()));
  for (auto& [name, v] : r->residuals.items())
    out.Text(Field("residual", name + " " + v.dump()));
  for (const Json& g : gains) {
    std::string change = g["old"] == g["new"] ? "unchanged " + g["old"].dump()
                                              : g["old"].dump() + " -> " + g["new"].dump();
    out.Text(Field(g["gain"].get<std::string>(), change));
  }
  for (const auto& m : r->messages)
    out.Text(Field("message", m));
  if (!r->limits.is_null()) out.Text(Field("limits", r->limits.dump()));
  if (!r->extra.is_null()) out.Text(Field("also", r->extra.dump()));
  return kExitOk;
}

int RecordsExport(const Options& o, const std::string& csv_file) {
  std::ofstream csv(csv_file, std::ios::trunc);
  if (!csv) {
    Out::Error("cannot write " + csv_file);
    return kExitFile;
  }
  const auto cols = ResidualColumns();
  csv << "id,time_utc,station,operator,unit,run,outcome";
  for (const auto& c : cols)
    csv << "," << Csv(c + " residual");
  csv << "\n";
  auto list = Open(o)->List({});
  for (const RunRecord& r : list) {
    csv << r.id << "," << Csv(r.time_utc) << "," << Csv(r.station) << "," << Csv(r.operator_name)
        << "," << Csv(r.unit) << "," << Csv(r.run) << "," << Csv(r.outcome);
    for (const auto& c : cols) {
      csv << ",";
      if (r.residuals.is_object() && r.residuals.contains(c) && !r.residuals[c].is_null()) {
        csv << r.residuals[c].dump();
      }
    }
    csv << "\n";
  }
  csv.close();
  if (!csv) {
    Out::Error("writing " + csv_file + " failed");
    return kExitFile;
  }
  Out(o.json).Print(std::to_string(list.size()) + " records written to " + csv_file,
                    Json{{"exported", list.size()}, {"file", csv_file}});
  return kExitOk;
}

int RestoreCommand(Session& s, std::int64_t id) {
  auto r = Open(s.options())->Get(id);
  if (!r) {
    Out::Error("there is no record " + std::to_string(id));
    return kExitFailed;
  }
  std::vector<records::Image> images;
  for (const auto& img : r->before) {
    if (img.status == 0 && !img.bytes.empty()) images.push_back(img);
  }
  if (images.empty()) {
    Out::Error("record " + std::to_string(id) + " holds no data flash image to restore");
    return kExitFailed;
  }
  // A block is what the device returns for a subclass: no more, no less is ever written back.
  for (const auto& img : images) {
    if (img.bytes.size() != static_cast<std::size_t>(kSmbusBlockMax)) {
      Out::Error("record " + std::to_string(id) + ": the before-image of subclass " +
                 std::to_string(img.subclass) + " holds " + std::to_string(img.bytes.size()) +
                 " bytes, not one block of " + std::to_string(kSmbusBlockMax) +
                 "; nothing was written");
      return kExitFailed;
    }
  }
  if (s.options().station.unit.empty()) s.set_unit(r->unit);  // the same unit, unless named
  const std::string what = "Restore the data flash of record " + std::to_string(id) + " (" +
                           r->run + " of unit " + (r->unit.empty() ? "-" : r->unit) + " at " +
                           r->time_utc + ") to the device as it was before that run?";
  if (s.platform().MessageBox(what, "vx58420cal", Buttons::kOkCancel) != Answer::kOk) {
    if (!s.options().yes) Out::Error("not restored; --yes answers the confirmation with OK");
    return kExitFailed;
  }
  bool verified = false;
  Json written = Json::array();
  auto result = s.Run(
      "restore", "Restore",
      [&] {
        // Only the blocks that differ from the device's now are written.
        auto now = ReadImages(s.adapter(), s.target_address());
        bool ok = true;
        for (const auto& img : images) {
          auto cur = std::find_if(now.begin(), now.end(),
                                  [&](const auto& n) { return n.subclass == img.subclass; });
          if (cur != now.end() && cur->status == 0 && cur->bytes == img.bytes) continue;
          ok = WriteBack(s.adapter(), s.platform(), s.target_address(), img) && ok;
          written.push_back(img.subclass);
        }
        auto back = ReadImages(s.adapter(), s.target_address());
        verified = ok;
        for (const auto& img : images) {
          for (const auto& b : back)
            verified = verified && (b.subclass != img.subclass || b.bytes == img.bytes);
        }
      },
      [&] { return verified; },
      [&] {
        return Json{{"restored_record", id}, {"written", written}, {"verified", verified}};
      });
  if (result.interrupted) return kExitInterrupted;
  s.out().Print(verified ? "Restored and verified: the data flash reads back as before record " +
                               std::to_string(id) + "."
                         : "Restore not verified: the data flash does not read back as before "
                           "record " +
                               std::to_string(id) + ".",
                Json{{"run", "restore"},
                     {"record", result.record.id},
                     {"verified", verified},
                     {"written", written}});
  return verified ? kExitOk : kExitFailed;
}

}  // namespace vx::cli
