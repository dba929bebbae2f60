// Charts as inline SVG, for pages that fetch nothing: lines over time with horizontal marks,
// and histograms. Every text is escaped; each series is one path that names its group.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vx {

struct Series {
  std::string name;
  std::vector<std::optional<double>> y;  // one a point; nullopt: no value there
  bool flagged = false;                  // drawn in red, thicker
};

// <svg class="CLS" data-reading="READING">: the series over the x labels (first and last shown),
// each as <path class="series" data-group="NAME">, with horizontal lines (value, class).
std::string LineChart(const std::string& cls, const std::string& reading, const std::string& title,
                      const std::string& unit, const std::vector<std::string>& x_labels,
                      const std::vector<Series>& series,
                      const std::vector<std::pair<double, const char*>>& lines);

// <svg class="histogram" data-reading="NAME">: counts per bin (bin k holds [k, k+1) × width),
// merged to at most 60 bars, with ±limit marked when given.
std::string Histogram(const std::string& name, const std::string& title,
                      const std::map<long long, std::int64_t>& bins, double width,
                      const std::optional<double>& limit);

std::string Num(double v, const char* format = "%.4g");

// Text for HTML (and SVG): &, <, >, " and ' as entities.
std::string HtmlText(const std::string& text);

}  // namespace vx
