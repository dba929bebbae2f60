// The report's control limits: ±3 standard errors of a point's mean, where a point holds the
// corrections of a day (or of the days merged into it) at one station.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "report_probe.h"

namespace vx {

namespace {

// The lowest tick of the Temperature chart of a line of one station whose days each hold two
// corrections, 1 - 0.5 and 1 + 0.5 °C: every day's mean is the line's, so the limits alone
// set the chart's scale.
double LowestTemperatureTick(int days) {
  using namespace std::chrono;
  LineReport report(GroupBy::kStation, {});
  std::int64_t id = 0;
  for (int d = 0; d < days; ++d) {
    const year_month_day day{sys_days{2026y / 1 / 1} + std::chrono::days{d}};
    char time[32];
    std::snprintf(time, sizeof time, "%04d-%02u-%02uT10:00:00.000Z", int(day.year()),
                  unsigned(day.month()), unsigned(day.day()));
    for (double c : {0.5, 1.5}) {
      records::Summary s = Done(++id, "st1", time);
      s.corrections[7] = c;
      report.Add(s);
    }
  }
  const std::string tick = First(
      Page(report, "limits"),
      "chart\" data-reading=\"Temperature\"[^]*?class=\"tick\" text-anchor=\"end\">([-0-9.]+)<");
  return tick.empty() ? NAN : std::stod(tick);
}

// The chart's scale runs 6 % of its span beyond the limits.
double LowestTickFor(double limit) {
  return -limit * 1.12;
}

}  // namespace

TEST(LineReport, ControlLimitsAreAPointsStandardError) {
  // 60 days: a point a day, 2 corrections a point.
  const double sd60 = 0.5 * std::sqrt(120.0 / 119);
  EXPECT_NEAR(LowestTemperatureTick(60), LowestTickFor(3 * sd60 / std::sqrt(2.0)), 0.05);
  // 130 days: two days a point, 4 corrections a point.
  const double sd130 = 0.5 * std::sqrt(260.0 / 259);
  EXPECT_NEAR(LowestTemperatureTick(130), LowestTickFor(3 * sd130 / std::sqrt(4.0)), 0.05);
}

}  // namespace vx
