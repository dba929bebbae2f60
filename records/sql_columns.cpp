#include "records/sql_columns.h"

#include <charconv>

namespace vx::records::sql {

namespace {

std::optional<std::string> Text(const std::optional<double>& v) {
  if (!v) return std::nullopt;
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *v);
  return std::string(buf, end);
}

}  // namespace

const std::vector<std::string>& ColumnNames() {
  static const std::vector<std::string> kNames = [] {
    std::vector<std::string> c = {"time_utc", "station", "operator", "unit",
                                  "run",      "outcome", "uid",      "meter"};
    for (const char* prefix : {"res_", "cor_"}) {
      for (const PageRow& r : kReadings)
        c.push_back(prefix + std::string(r.column));
    }
    return c;
  }();
  return kNames;
}

std::string Joined(std::size_t first, const char* suffix, std::size_t skip) {
  std::string out;
  for (std::size_t i = first; i < ColumnNames().size(); ++i) {
    if (i != skip) out += (out.empty() ? "" : ", ") + ColumnNames()[i] + suffix;
  }
  return out;
}

void AddDerived(const RunRecord& r, SqlStore::Params& out) {
  const Summary s = SummaryOf(r);
  out.emplace_back(s.meter);
  for (const auto& v : s.residuals)
    out.push_back(Text(v));
  for (const auto& v : s.corrections)
    out.push_back(Text(v));
}

std::string Placeholders(std::size_t n) {
  std::string s = "(?";
  for (std::size_t i = 1; i < n; ++i)
    s += ", ?";
  return s + ")";
}

}  // namespace vx::records::sql
