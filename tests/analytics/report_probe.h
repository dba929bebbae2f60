// Summaries made by hand, a report's page, and what a test reads from the page.
#pragma once

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "hosts/analytics/line_report.h"

namespace vx {

// A calibration done at `station` at `time`, with no values yet.
inline records::Summary Done(std::int64_t id, const std::string& station = "",
                             const std::string& time = "2026-03-01T10:00:00.000Z") {
  records::Summary s;
  s.id = id;
  s.time_utc = time;
  s.run = "calibrate";
  s.outcome = "done";
  s.station = station;
  return s;
}

inline std::string Page(const LineReport& report, const std::string& covers) {
  std::ostringstream out;
  report.Write(out, covers);
  return out.str();
}

// Every match of `re` in `text`, each as its whole and its groups.
inline std::vector<std::vector<std::string>> Matches(const std::string& text,
                                                     const std::string& re) {
  std::vector<std::vector<std::string>> all;
  const std::regex r(re);
  for (auto m = std::sregex_iterator(text.begin(), text.end(), r); m != std::sregex_iterator(); ++m)
    all.emplace_back(m->begin(), m->end());
  return all;
}

// The first group of the first match, or "" where nothing matches.
inline std::string First(const std::string& text, const std::string& re) {
  std::smatch m;
  return std::regex_search(text, m, std::regex(re)) && m.size() > 1 ? m[1].str() : "";
}

inline std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

}  // namespace vx
