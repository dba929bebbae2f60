#include "hosts/analytics/csv_export.h"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "platform/output_file.h"
#include "records/readings.h"

namespace vx {

std::string CsvCell(const std::string& text) {
  std::string cell = records::ValidUtf8(text);
  if (!cell.empty() && std::string("=+-@\t\r").find(cell[0]) != std::string::npos) {
    cell = "'" + cell;
  }
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string q = "\"";
  for (char c : cell)
    q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

std::size_t WriteCsv(records::Store& store, std::ostream& out,
                     const records::Store::Broken& broken) {
  out << "id,time_utc,station,operator,unit,run,outcome";
  for (const records::PageRow& r : records::kReadings)
    out << "," << CsvCell(std::string(r.name) + " residual");
  out << ",meter";
  for (const records::PageRow& r : records::kReadings)
    out << "," << CsvCell(std::string(r.name) + " correction");
  out << "\n";
  std::size_t n = 0;
  // Each row is put together and written at once; numbers the store kept as numbers go out as
  // they are, in the fewest digits that read back the same.
  std::string line;
  auto numbers = [&](const records::PerReading& values) {
    for (const auto& v : values) {
      line += ',';
      if (!v) continue;
      char buf[32];
      auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *v);
      line.append(buf, end);
    }
  };
  store.EachSummary(
      {},
      [&](const records::Summary& r) {
        line = std::to_string(r.id);
        for (const std::string* text :
             {&r.time_utc, &r.station, &r.operator_name, &r.unit, &r.run, &r.outcome}) {
          line += ',';
          line += CsvCell(*text);
        }
        numbers(r.residuals);
        line += ',';
        line += CsvCell(r.meter);
        numbers(r.corrections);
        line += '\n';
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        if (!out) throw std::runtime_error("the CSV could not be written");
        ++n;
      },
      broken);
  return n;
}

std::string ExportedSentence(std::size_t n, const std::string& file, std::size_t broken) {
  return std::to_string(n) + (n == 1 ? " record" : " records") + " written to " + file +
         (broken ? "; " + std::to_string(broken) + " damaged records were left out" : "");
}

std::size_t ExportCsv(const std::string& where, const std::string& file,
                      const records::Store::Broken& broken) {
  auto store = records::OpenStore(where, records::Access::kRead);
  records::RequireDerived(*store, "an export");
  std::size_t n = 0;
  WriteWholeFile(file, [&](std::ostream& csv) { n = WriteCsv(*store, csv, broken); });
  return n;
}

}  // namespace vx
