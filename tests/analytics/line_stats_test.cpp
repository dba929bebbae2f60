// The line's statistics on simulated lines whose faults are known: the biased station is found,
// with the size of its difference, the unit from which it shows and the units since; a clean
// line flags nothing; figures per group (yield, Cpk) are what the records say; the report is
// one page that names the flagged group first and escapes what records hold.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "bench/sim_line.h"
#include "hosts/analytics/line_stats.h"
#include "hosts/analytics/record_words.h"
#include "hosts/analytics/svg_chart.h"
#include "report_probe.h"
#include "sim/random.h"

namespace vx {

namespace {

records::Summary At(const sim::LineSpec& plan, std::int64_t i) {
  records::Summary s = records::SummaryOf(sim::LineRecord(plan, i));
  s.id = i + 1;
  return s;
}

}  // namespace

TEST(LineStats, AStationWhoseMeterDriftsIsFoundWhereItBegan) {
  sim::LineSpec plan;
  plan.seed = 5;
  plan.biased_station = 3;
  plan.bias = 0.01;
  plan.biased_from = 1600;
  LineStats biased(GroupBy::kStation, {}), clean(GroupBy::kStation, {});
  LineStats poisoned(GroupBy::kStation, {});  // one row of another station's rewritten
  const double poison[] = {std::nan(""), INFINITY, 1e308, 100};
  sim::LineSpec unbiased = plan;
  unbiased.biased_station = 0;
  std::int64_t st3_since = 0;
  for (std::int64_t i = 0; i < 2400; ++i) {
    const records::Summary s = At(plan, i);
    biased.Add(s);
    records::Summary p = s;
    for (auto& c : p.corrections) {
      if (c && i >= 300 && i < 304) c = poison[i - 300];
    }
    poisoned.Add(p);
    clean.Add(At(unbiased, i));
    if (i >= plan.biased_from && s.station == "st3" && Calibrated(s)) ++st3_since;
  }
  EXPECT_TRUE(clean.Flags().empty());
  ASSERT_FALSE(biased.Flags().empty());
  ASSERT_FALSE(poisoned.Flags().empty());
  EXPECT_EQ(poisoned.Flags().front().group, "st3");
  ASSERT_FALSE(poisoned.LeftOut().empty());
  EXPECT_EQ(poisoned.LeftOut().back(),
            "record 304: its correction of Current is not a ratio of 0 to 2; left out of the "
            "statistics");
  const Flag f = biased.Flags().front();
  EXPECT_EQ(f.group, "st3");
  EXPECT_EQ(f.reading, kMeterReadings);
  EXPECT_NEAR(f.difference, 1.0, 0.35);
  EXPECT_TRUE(f.percent);
  // The difference is traced to about where it began, and every unit since is counted.
  EXPECT_NEAR(static_cast<double>(f.first_id), 1600, 8 * 4);
  EXPECT_NEAR(static_cast<double>(f.units_since), static_cast<double>(st3_since), 4);
  EXPECT_LE(f.flagged_id - 1600, 8 * 20);     // within 20 of its units
  for (const Flag& other : biased.Flags()) {  // a meter that reads high, on every reading
    EXPECT_EQ(other.group, "st3") << other.reading;
    EXPECT_GT(other.difference, 0) << other.reading;
    EXPECT_LT(other.difference, 3) << other.reading;  // about the 1 % it reads high
  }
}

// A temperature offset is a difference in degrees, not a share of the line's mean offset; one
// ratio a unit is that reading's own chart, not the meter's (which takes the mean of several).
TEST(LineStats, AnOffsetDriftIsGivenInDegreesAndOneRatioIsNoMetersChart) {
  LineStats stats(GroupBy::kStation, {});
  sim::Random rnd(11, 0);
  const std::size_t t = 7, v = 5;
  ASSERT_TRUE(records::kReadings[t].offset());
  ASSERT_FALSE(records::kReadings[v].offset());
  for (std::int64_t i = 0; i < 1600; ++i) {
    records::Summary s = Done(i + 1, "st" + std::to_string(i % 8 + 1));
    const bool drifted = s.station == "st3" && i >= 800;
    s.corrections[t] = 2 + rnd.Normal(0.2) + (drifted ? 1 : 0);
    s.corrections[v] = 1 + rnd.Normal(0.001) + (drifted ? 0.01 : 0);
    stats.Add(s);
  }
  std::set<std::string> flagged;
  for (const Flag& f : stats.Flags()) {
    EXPECT_EQ(f.group, "st3");
    flagged.insert(f.reading);
    if (f.reading != "Temperature") continue;
    EXPECT_FALSE(f.percent);
    EXPECT_NEAR(f.difference, 1.0, 0.2);
  }
  EXPECT_EQ(flagged,
            (std::set<std::string>{"Temperature", std::string(records::kReadings[v].name)}));
}

// What a calibration can make is kept up to its bound and left out just beyond it.
TEST(LineStats, ValuesAtThePlausibilityBoundsAreKept) {
  LineStats stats(GroupBy::kStation, {});
  const std::size_t t = 7, v = 0;
  ASSERT_TRUE(records::kReadings[t].offset());
  ASSERT_FALSE(records::kReadings[v].offset());
  const auto add = [&](std::int64_t id, bool residual, std::size_t i, double value) {
    records::Summary s = Done(id);
    (residual ? s.residuals[i] : s.corrections[i]) = value;
    stats.Add(s);
  };
  add(1, true, v, -10000), add(2, false, t, 12.7), add(3, false, v, 2), add(4, false, t, -12.7);
  EXPECT_TRUE(stats.LeftOut().empty());
  add(5, true, v, 10000.5), add(6, false, t, 12.75), add(7, false, v, 0);
  ASSERT_EQ(stats.LeftOut().size(), 3u);
  EXPECT_NE(stats.LeftOut()[0].find("record 5: its residual of "), std::string::npos);
  EXPECT_NE(stats.LeftOut()[1].find(" is beyond 12.7 degrees;"), std::string::npos);
}

TEST(LineStats, FiguresPerGroupAreTheRecords) {
  Limits limits;
  limits.max_residual["Capacitor 1"] = 3;
  limits.max_residual["Capacitor 1 + 2"] = 3;
  LineStats by_meter(GroupBy::kMeter, limits), by_day(GroupBy::kDay, limits),
      unlimited(GroupBy::kMeter, {});
  const double residuals[] = {1, -1, 2, -2, 0.5};
  const char* outcomes[] = {"done", "out of limits", "done", "failed", "done"};
  for (int i = 0; i < 5; ++i) {
    records::Summary s = Done(i + 1);
    if (i >= 3) s.time_utc = "2026-03-02T10:00:00.000Z";
    s.outcome = outcomes[i];
    s.residuals[0] = residuals[i];
    s.corrections[0] = 1 + residuals[i] / 100;
    if (i == 0) s.residuals[1] = 0.5;  // one residual: a limit, but no spread yet
    by_meter.Add(s);
    by_day.Add(s);
    unlimited.Add(s);
  }
  records::Summary ignored;
  ignored.outcome = "done";
  for (const char* run : {"bus", "restore"}) {
    ignored.run = run;
    by_meter.Add(ignored);
  }
  ignored.run = "calibrate";
  ignored.outcome = "incomplete";
  by_meter.Add(ignored);

  const auto groups = by_meter.Groups();
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].name, "typed");
  EXPECT_EQ(groups[0].runs, 5);
  EXPECT_EQ(groups[0].done, 3);
  // The failed run's residual does not count: 1, -1, 2, 0.5.
  const ReadingStats& r = groups[0].readings[0];
  EXPECT_EQ(r.residual.n, 4);
  EXPECT_DOUBLE_EQ(r.residual.mean, 0.625);
  const double sd = std::sqrt((0.375 * 0.375 + 1.625 * 1.625 + 1.375 * 1.375 + 0.125 * 0.125) / 3);
  EXPECT_NEAR(r.residual.Sd(), sd, 1e-12);
  EXPECT_NEAR(r.Cpk(), (3 - 0.625) / (3 * sd), 1e-12);
  EXPECT_TRUE(std::isnan(groups[0].readings[1].Cpk()));              // a limit, no spread
  EXPECT_TRUE(std::isnan(unlimited.Groups()[0].readings[0].Cpk()));  // a spread, no limit
  const auto days = by_day.Groups();
  ASSERT_EQ(days.size(), 2u);
  EXPECT_EQ(days[0].name, "2026-03-01");
  EXPECT_EQ(days[1].runs, 2);

  // The rest of the line is the whole without the group, as if counted apart.
  Spread whole, part, rest;
  for (double x : {1.0, 2.0, 4.0, 8.0, 16.0})
    whole.Add(x);
  for (double x : {2.0, 8.0})
    part.Add(x);
  for (double x : {1.0, 4.0, 16.0})
    rest.Add(x);
  const Spread without = Spread::Without(whole, part);
  EXPECT_NEAR(without.mean, rest.mean, 1e-12);
  EXPECT_NEAR(without.Sd(), rest.Sd(), 1e-12);
  EXPECT_NEAR(Spread::Merged(part, rest).Sd(), whole.Sd(), 1e-12);
}

// Points, marks and bars sit where their values are: the range padded by 6 % in a frame from
// y 28 to 228; a limit on a bin's edge meets its bar.
TEST(SvgChart, ValuesSitWhereTheyBelong) {
  const std::string chart =
      LineChart("chart", "r", "t", "mV", {"a", "b"}, {{"g", {0.0, 10.0}, false}}, {{5, "mark"}});
  EXPECT_NE(chart.find("d=\"M64.0 217.3L764.0 38.7\""), std::string::npos) << chart;
  EXPECT_NE(chart.find("y1=\"128.0\" y2=\"128.0\""), std::string::npos) << chart;
  // A spread however small is drawn across the chart's height, as a wide one is.
  const std::string tiny =
      LineChart("chart", "r", "t", "mV", {"a", "b"}, {{"g", {0.0, 1e-9}, false}}, {});
  EXPECT_NE(tiny.find("d=\"M64.0 217.3L764.0 38.7\""), std::string::npos) << tiny;
  // One day's value is a dot, and the ticks of a flat series differ from each other.
  const std::string day = LineChart("chart", "r", "t", "%", {"d"}, {{"g", {100.0}, false}}, {});
  EXPECT_NE(day.find("<circle class=\"point\" cx=\"414.0\" cy=\"128.0\""), std::string::npos)
      << day;
  for (const char* tick : {">98.9<", ">99.4<", ">100.0<", ">100.6<", ">101.1<"})
    EXPECT_NE(day.find(tick), std::string::npos) << tick << day;
  const std::string bars = Histogram("r", "t", {{-2, 1}, {1, 3}}, 0.5, 1.0);
  EXPECT_NE(bars.find("x=\"164.0\" y=\"121.3\" width=\"99.0\""), std::string::npos) << bars;
  EXPECT_NE(bars.find("x=\"464.0\" y=\"28.0\""), std::string::npos) << bars;
  EXPECT_NE(bars.find("x1=\"164.0\" x2=\"164.0\""), std::string::npos) << bars;
  EXPECT_NE(bars.find("x1=\"564.0\" x2=\"564.0\""), std::string::npos) << bars;
  // Bins that count nothing draw flat bars, not numbers that are none.
  const std::string flat = Histogram("r", "t", {{0, 0}, {1, 0}}, 1.0, std::nullopt);
  EXPECT_NE(flat.find("height=\"0.0\""), std::string::npos) << flat;
  EXPECT_EQ(flat.find("nan"), std::string::npos) << flat;
}

TEST(LineReport, OnePageThatNamesTheFlaggedGroupFirst) {
  sim::LineSpec plan;
  plan.biased_station = 6;
  plan.bias = -0.01;
  Limits limits;
  limits.max_residual["Capacitor 1"] = 2;
  LineReport report(GroupBy::kStation, limits);
  for (std::int64_t i = 0; i < 3000; ++i) {
    records::Summary s = At(plan, i);
    if (s.station == "st8") s.station = "<script>alert(1)</script>";
    report.Add(s);
  }
  const std::string html = Page(report, "a simulated line");
  const auto flag = html.find("<div class=\"flag\"><b class=\"group\">st6</b>");
  ASSERT_NE(flag, std::string::npos);
  EXPECT_LT(flag, html.find("<svg"));
  EXPECT_NE(html.find("voltages and current -"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("No group calibrates differently"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;"), std::string::npos);
  // A chart per calibrated reading with a series per station, the yield's, and one histogram
  // per reading with its limits where limits were given.
  const auto count = [&](const std::string& what) { return Count(html, what); };
  EXPECT_EQ(count("<svg class=\"chart\""), 9u);
  EXPECT_EQ(count("<svg class=\"yield\""), 1u);
  EXPECT_EQ(count("<path class=\"series"), 10u * 8);
  EXPECT_EQ(count("<path class=\"series flagged\" data-group=\"st6\""),
            count("<path class=\"series flagged\""));
  for (const auto& t : Matches(html, R"(x="58" y="[^"]+" class="tick" text-anchor="end">([^<]+)<)"))
    EXPECT_LT(std::fabs(std::stod(t[1])), 150) << t[1];  // in %
  EXPECT_EQ(count("<svg class=\"histogram\""), 9u);
  EXPECT_EQ(count("<line class=\"limit\" x1=\"") - 2 * 9, 2u);  // 2 control limits a chart
  // Each chart's control limits lie as far above its centre as below it.
  const auto charts = Matches(
      html,
      R"re(class="centre" x1="64" x2="764" y1="([0-9.]+)"[^>]*><line class="limit" x1="64" x2="764" y1="([0-9.]+)"[^>]*><line class="limit" x1="64" x2="764" y1="([0-9.]+)")re");
  for (const auto& l : charts) {
    const double centre = std::stod(l[1]), above = std::stod(l[2]), below = std::stod(l[3]);
    EXPECT_GT(centre - above, 1) << l[0];
    EXPECT_NEAR(centre - above, below - centre, 0.11) << l[0];
  }
  EXPECT_EQ(charts.size(), 9u);
  EXPECT_EQ(html.find("http"), html.find("http://www.w3.org/2000/svg"));  // nothing fetched
  // Capacitor 1's histogram: its limits at their place on the axis between its two ticks.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      html, m,
      std::regex("histogram\" data-reading=\"Capacitor 1\"[^]*?class=\"tick\">([-0-9.e]+)<[^]*?"
                 "class=\"tick\" text-anchor=\"end\">([-0-9.e]+)<[^]*?x1=\"([-0-9.]+)\"[^]*?"
                 "x1=\"([-0-9.]+)\"")));
  const double lo = std::stod(m[1]), hi = std::stod(m[2]);
  EXPECT_NEAR(std::stod(m[3]), 64 + 700 * (-2 - lo) / (hi - lo), 0.1);
  EXPECT_NEAR(std::stod(m[4]), 64 + 700 * (2 - lo) / (hi - lo), 0.1);
}

// More days than a chart has points: neighbouring days merge whole, each into one point. Every
// other day's runs failed, so each merged pair yields 50 %.
TEST(LineReport, DaysBeyondAChartsWidthMergeWhole) {
  sim::LineSpec plan;
  plan.units_per_day = 1;
  LineReport report(GroupBy::kStation, {});
  for (std::int64_t i = 0; i < 130; ++i) {
    records::Summary s = At(plan, i);
    s.station = "st1";
    s.outcome = i % 2 ? "failed" : "done";
    report.Add(s);
  }
  const std::string html = Page(report, "a long line");
  EXPECT_NE(html.find("No group calibrates differently"), std::string::npos);
  const std::string path = First(html, "class=\"yield\"[^]*?d=\"([^\"]+)\"");
  const auto points = Matches(path, "[ML][0-9.]+ ([0-9.]+)");
  std::set<std::string> heights;
  for (const auto& p : points)
    heights.insert(p[1]);
  EXPECT_EQ(points.size(), 65u);
  EXPECT_EQ(heights.size(), 1u) << path;
}

// Every residual counts in its reading's histogram, however far from zero it lies, and the
// records of one day count together when other days come between them.
TEST(LineReport, EveryResidualAndDayCounts) {
  LineReport report(GroupBy::kStation, {});
  const double residuals[] = {-256, 255.9, 256, -256.5, 0, 5000, -1e8};
  for (std::size_t i = 0; i < std::size(residuals); ++i) {
    records::Summary s = Done(static_cast<std::int64_t>(i) + 1, "st1",
                              i % 2 ? "2026-03-02T10:00:00.000Z" : "2026-03-01T10:00:00.000Z");
    s.residuals[0] = residuals[i];
    s.corrections[0] = 1;
    report.Add(s);
  }
  const std::string html = Page(report, "far residuals");
  std::int64_t counted = 0;
  const auto bars = Matches(html, "histogram\" data-reading=\"Capacitor 1\"[^]*?</svg>");
  ASSERT_FALSE(bars.empty());
  for (const auto& t : Matches(bars[0][0], "<title>([0-9]+)</title>"))
    counted += std::stoll(t[1]);
  EXPECT_EQ(counted, 7);
  // Two days a point at most: the yield has a point for each of the two days.
  const std::string path = First(html, "class=\"yield\"[^]*?d=\"([^\"]+)\"");
  EXPECT_EQ(Matches(path, "[ML]").size(), 2u) << path;
}

// A metered reference says how it was taken; a source that someone else wrote (no unit, a unit
// that is no text, no meter) is said as far as it goes.
TEST(RecordWords, AMeteredReferenceSaysHowItWasTaken) {
  records::RunRecord r;
  const Json meter = {{"vendor", "Acme"}, {"model", "M1"}, {"serial", 7}};
  r.references = {{"Capacitor 1",
                   "2050",
                   {{"meter", meter}, {"readings", {1, 2, 3}}, {"spread", 0.0249}, {"unit", "mV"}}},
                  {"Capacitor 1 + 2", "4160", {{"spread", 0.5}}},
                  {"actual current", "-500", {{"spread", 1}, {"unit", 3}}}};
  std::string all;
  for (const std::string& line : RecordLines(r))
    all += line + "\n";
  EXPECT_NE(all.find("Capacitor 1 = 2050 (from the meter Acme M1, 3 readings, spread 0.02 mV)\n"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("Capacitor 1 + 2 = 4160 (from the meter, spread 0.5)\n"), std::string::npos);
  EXPECT_NE(all.find("actual current = -500 (from the meter, spread 1)\n"), std::string::npos);
}

}  // namespace vx
