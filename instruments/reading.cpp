#include "instruments/reading.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "device/numeric.h"

namespace vx::instruments {

std::string Reading::Text() const {
  char shown[32];
  std::snprintf(shown, sizeof shown, "%.6g", value);
  return std::string(shown) + " " + unit + " (" + Words() + ")" + (overload ? " (overload)" : "");
}

std::optional<Settled> Settler::Add(const Reading& r) {
  if (r.quantity != e_.quantity || (!e_.flag.empty() && r.flags != e_.flag)) {
    throw MeterError("the meter measures " + r.Words() + ", not " + e_.Words() + ": set it to " +
                     e_.Words());
  }
  if (r.overload || !std::isfinite(r.value)) {
    throw MeterError("the meter shows an overload: choose a higher range or check the probes");
  }
  all_.push_back(r.value * e_.scale);
  if (static_cast<int>(all_.size()) >= window_) {
    std::vector<double> last(all_.end() - window_, all_.end());
    std::sort(last.begin(), last.end());
    const double median = last[last.size() / 2];
    const double spread = last.back() - last.front();
    if (spread <= std::max(e_.abs_tol, e_.rel_tol * std::fabs(median))) {
      // The box takes the page's text: a whole number, or tenths, "." as the separator.
      const double step = std::pow(10.0, e_.decimals);
      return Settled{median, spread, all_, FormatDouble(RoundHalfEven(median * step) / step)};
    }
  }
  if (static_cast<int>(all_.size()) >= max_) {
    throw MeterError("the reading did not settle within " + std::to_string(max_) +
                     " readings (tolerance " + FormatDouble(e_.abs_tol) + " or " +
                     FormatDouble(e_.rel_tol * 100) + " %): check the probes");
  }
  return std::nullopt;
}

}  // namespace vx::instruments
