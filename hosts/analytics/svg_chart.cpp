#include "hosts/analytics/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "records/record.h"

namespace vx {

namespace {

constexpr std::size_t kMostBars = 60;

const char* const kColours[] = {"#1f77b4", "#2ca02c", "#9467bd", "#8c564b", "#e377c2",
                                "#7f7f7f", "#bcbd22", "#17becf", "#ff7f0e", "#393b79"};

struct Plot {
  double left = 64, top = 28, width = 700, height = 200;
  double lo = 0, hi = 1;
  std::size_t points = 1;
  double X(std::size_t i) const {
    return left + (points > 1 ? width * static_cast<double>(i) / static_cast<double>(points - 1)
                              : width / 2);
  }
  double Y(double v) const { return top + height * (hi - v) / (hi - lo); }
};

}  // namespace

std::string Num(double v, const char* format) {
  char buf[48];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

std::string LineChart(const std::string& cls, const std::string& reading, const std::string& title,
                      const std::string& unit, const std::vector<std::string>& x_labels,
                      const std::vector<Series>& series,
                      const std::vector<std::pair<double, const char*>>& lines) {
  Plot p;
  p.points = x_labels.size();
  double lo = INFINITY, hi = -INFINITY;
  for (const Series& s : series) {
    for (const auto& v : s.y) {
      if (v) lo = std::min(lo, *v), hi = std::max(hi, *v);
    }
  }
  for (const auto& [y, style] : lines)
    lo = std::min(lo, y), hi = std::max(hi, y);
  if (!std::isfinite(lo)) lo = 0, hi = 1;
  if (hi - lo < 1e-9) lo -= 1, hi += 1;
  const double pad = (hi - lo) * 0.06;
  p.lo = lo - pad;
  p.hi = hi + pad;
  std::string svg = "<svg class=\"" + cls + "\" data-reading=\"" + HtmlText(reading) +
                    "\" viewBox=\"0 0 900 260\" width=\"900\" height=\"260\" "
                    "xmlns=\"http://www.w3.org/2000/svg\">";
  svg += "<text x=\"64\" y=\"18\" class=\"title\">" + HtmlText(title) + "</text>";
  svg += "<rect x=\"64\" y=\"28\" width=\"700\" height=\"200\" class=\"frame\"/>";
  // As many decimals as the ticks' step needs for them to differ.
  const double step = (p.hi - p.lo) / 4;
  const int decimals = std::clamp(-static_cast<int>(std::floor(std::log10(step))), 0, 6);
  const std::string format = "%." + std::to_string(decimals) + "f";
  for (int t = 0; t <= 4; ++t) {
    const double v = p.lo + step * t;
    svg += "<text x=\"58\" y=\"" + Num(p.Y(v) + 4, "%.1f") + "\" class=\"tick\" " +
           "text-anchor=\"end\">" + Num(v, format.c_str()) + "</text>";
  }
  svg += "<text x=\"8\" y=\"140\" class=\"tick\">" + HtmlText(unit) + "</text>";
  if (!x_labels.empty()) {
    svg += "<text x=\"64\" y=\"246\" class=\"tick\">" + HtmlText(x_labels.front()) + "</text>";
    svg += "<text x=\"764\" y=\"246\" class=\"tick\" text-anchor=\"end\">" +
           HtmlText(x_labels.back()) + "</text>";
  }
  for (const auto& [y, style] : lines) {
    svg += "<line class=\"" + std::string(style) + "\" x1=\"64\" x2=\"764\" y1=\"" +
           Num(p.Y(y), "%.1f") + "\" y2=\"" + Num(p.Y(y), "%.1f") + "\"/>";
  }
  for (std::size_t k = 0; k < series.size(); ++k) {
    const Series& s = series[k];
    std::string d, dots;
    bool pen = false;
    const std::string colour = s.flagged ? "#d62728" : kColours[k % std::size(kColours)];
    for (std::size_t i = 0; i < s.y.size(); ++i) {
      if (!s.y[i]) {
        pen = false;
        continue;
      }
      d += (pen ? "L" : "M") + Num(p.X(i), "%.1f") + " " + Num(p.Y(*s.y[i]), "%.1f");
      // A value without a neighbour (one day of records) is a dot: a line needs two.
      if (!pen && (i + 1 >= s.y.size() || !s.y[i + 1])) {
        dots += "<circle class=\"point\" cx=\"" + Num(p.X(i), "%.1f") + "\" cy=\"" +
                Num(p.Y(*s.y[i]), "%.1f") + "\" r=\"3\" fill=\"" + colour + "\"/>";
      }
      pen = true;
    }
    svg += "<path class=\"series" + std::string(s.flagged ? " flagged" : "") + "\" data-group=\"" +
           HtmlText(s.name) + "\" d=\"" + (d.empty() ? "M0 0" : d) + "\" stroke=\"" + colour +
           "\"/>" + dots;
    svg += "<text x=\"772\" y=\"" + Num(40 + 14 * static_cast<double>(k), "%.0f") +
           "\" class=\"legend\" fill=\"" + colour + "\">" + HtmlText(s.name) + "</text>";
  }
  return svg + "</svg>\n";
}

std::string Histogram(const std::string& name, const std::string& title,
                      const std::map<long long, std::int64_t>& bins, double width,
                      const std::optional<double>& limit) {
  long long first = bins.begin()->first, last = bins.rbegin()->first;
  if (limit) {
    first = std::min(first, static_cast<long long>(std::floor(-*limit / width)) - 1);
    last = std::max(last, static_cast<long long>(std::floor(*limit / width)) + 1);
  }
  const long long span = last - first + 1;
  const long long merge =
      (span + static_cast<long long>(kMostBars) - 1) / static_cast<long long>(kMostBars);
  std::vector<std::int64_t> bars(static_cast<std::size_t>((span + merge - 1) / merge));
  for (const auto& [bin, n] : bins)
    bars[static_cast<std::size_t>((bin - first) / merge)] += n;
  const double most = static_cast<double>(*std::max_element(bars.begin(), bars.end()));
  const double lo = static_cast<double>(first) * width;
  const double hi =
      static_cast<double>(first + static_cast<long long>(bars.size()) * merge) * width;
  auto x = [&](double v) { return 64 + 700 * (v - lo) / (hi - lo); };
  std::string svg = "<svg class=\"histogram\" data-reading=\"" + HtmlText(name) +
                    "\" viewBox=\"0 0 900 200\" width=\"900\" height=\"200\" "
                    "xmlns=\"http://www.w3.org/2000/svg\">";
  svg += "<text x=\"64\" y=\"18\" class=\"title\">" + HtmlText(title) +
         (limit ? ", limit ±" + Num(*limit) : "") + "</text>";
  const double bar = 700.0 / static_cast<double>(bars.size());
  for (std::size_t i = 0; i < bars.size(); ++i) {
    const double h = 140 * static_cast<double>(bars[i]) / (most > 0 ? most : 1);
    svg += "<rect class=\"bar\" x=\"" + Num(64 + bar * static_cast<double>(i), "%.1f") + "\" y=\"" +
           Num(168 - h, "%.1f") + "\" width=\"" + Num(std::max(bar - 1, 0.5), "%.1f") +
           "\" height=\"" + Num(h, "%.1f") + "\"><title>" + std::to_string(bars[i]) +
           "</title></rect>";
  }
  svg += "<text x=\"64\" y=\"186\" class=\"tick\">" + Num(lo) + "</text>";
  svg += "<text x=\"764\" y=\"186\" class=\"tick\" text-anchor=\"end\">" + Num(hi) + "</text>";
  if (limit) {
    for (double v : {-*limit, *limit}) {
      svg += "<line class=\"limit\" x1=\"" + Num(x(v), "%.1f") + "\" x2=\"" + Num(x(v), "%.1f") +
             "\" y1=\"24\" y2=\"170\"/>";
    }
  }
  return svg + "</svg>\n";
}

std::string HtmlText(const std::string& text) {
  std::string out;
  for (char c : records::ValidUtf8(text)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace vx
