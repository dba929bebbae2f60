#include "hosts/station/csv_export.h"

#include <fstream>
#include <stdexcept>

#include "hosts/station/references.h"
#include "records/store.h"

namespace vx {

namespace {

std::string Csv(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string q = "\"";
  for (char c : text)
    q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

}  // namespace

std::size_t ExportCsv(const std::string& where, const std::string& file) {
  std::ofstream csv(file, std::ios::trunc);
  if (!csv) throw std::runtime_error("cannot write " + file);
  csv << "id,time_utc,station,operator,unit,run,outcome";
  for (const PageReading& r : PageReadings())
    csv << "," << Csv(std::string(r.name) + " residual");
  csv << "\n";
  auto list = records::OpenStore(where)->List({});
  for (const records::RunRecord& r : list) {
    csv << r.id << "," << Csv(r.time_utc) << "," << Csv(r.station) << "," << Csv(r.operator_name)
        << "," << Csv(r.unit) << "," << Csv(r.run) << "," << Csv(r.outcome);
    for (const PageReading& reading : PageReadings()) {
      const std::string c(reading.name);
      csv << ",";
      if (r.residuals.is_object() && r.residuals.contains(c) && !r.residuals[c].is_null()) {
        csv << r.residuals[c].dump();
      }
    }
    csv << "\n";
  }
  csv.close();
  if (!csv) throw std::runtime_error("writing " + file + " failed");
  return list.size();
}

}  // namespace vx
