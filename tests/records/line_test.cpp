// A line of eight stations through the command line: each calibrates its own units (simulated,
// each different), one station's references read 1 % high. The records' statistics find that
// station and no other, exit 5, and the report names it first.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <thread>

#include "bench/sim_line.h"
#include "hosts/analytics/summaries_aside.h"
#include "platform/outside_wait.h"
#include "records_fixture.h"

namespace vx::testing {

namespace {

std::string Whole(double v) {
  return std::to_string(std::llround(v));
}

// What a station's meter reads on the unit, off by `error`.
std::string References(const sim::SimState& u, double error) {
  std::string voltages;
  double tap = 0;
  for (double cell : u.truth.cell_mV) {
    tap += cell;
    voltages += (voltages.empty() ? "" : ",") + Whole(tap * (1 + error));
  }
  char temperature[16];
  std::snprintf(temperature, sizeof temperature, "%.1f", u.truth.temperature_C);
  return "--voltages " + voltages + " --system-voltage " + Whole(u.truth.system_mV * (1 + error)) +
         " --temperature " + temperature + " --current " + Whole(u.truth.current_mA * (1 + error));
}

}  // namespace

TEST(LineStatistics, AStationWhoseMeterReadsHighIsFoundFromTheCommandLine) {
  SimFolder f;
  const std::string db = f.Path("line.sqlite");
  for (int unit = 0; unit < 12; ++unit) {
    for (int station = 1; station <= 8; ++station) {
      const sim::SimState u = sim::RandomUnit(static_cast<std::uint64_t>(unit * 8 + station));
      ASSERT_NEAR(u.truth.temperature_C, 25, 10);  // a unit at a bench's temperature
      const std::string state = f.Save("unit.json", u);
      auto r = Process(f.dir.path(), "--records " + db + " --station st" + std::to_string(station) +
                                         " --unit U" + std::to_string(unit) + "-" +
                                         std::to_string(station) + " --fast --sim " + state +
                                         " calibrate " + References(u, station == 3 ? 0.01 : 0))
                   .Wait();
      ASSERT_EQ(r.code, 0) << r.err;
    }
  }
  auto stats = Process(f.dir.path(), "--records " + db + " records stats").Wait();
  EXPECT_EQ(stats.code, 5) << stats.err;
  EXPECT_NE(stats.out.find("FLAGGED: st3 calibrates differently from the rest of the line: "
                           "voltages and current +1."),
            std::string::npos)
      << stats.out;
  std::size_t flagged = 0;
  for (auto at = stats.out.find("FLAGGED: "); at != std::string::npos;
       at = stats.out.find("FLAGGED: ", at + 1)) {
    EXPECT_EQ(stats.out.compare(at, 13, "FLAGGED: st3 "), 0) << stats.out.substr(at, 60);
    ++flagged;
  }
  EXPECT_GE(flagged, 1u);
  // Each station's table lists the readings it calibrated, the count in its column.
  const std::string row = "\n  Capacitor 1" + std::string(18, ' ') + "12 ";
  std::size_t tables = 0;
  for (auto at = stats.out.find(row); at != std::string::npos; at = stats.out.find(row, at + 1))
    ++tables;
  EXPECT_EQ(tables, 8u) << stats.out;
  // The heading stands over its columns.
  const auto head = stats.out.find("\n  reading"), row1 = stats.out.find('\n', head + 1);
  EXPECT_EQ(row1 - head, stats.out.find('\n', row1 + 1) - row1) << stats.out;

  // One group has no rest of the line to differ from; limits give each reading its Cpk.
  const std::string limits = f.dir.Write("limits.json", R"({"Capacitor 1": 2, "Current": 3})");
  auto by_day = Process(f.dir.path(), "--records " + db + " --limits " + limits +
                                          " --json records stats --by meter")
                    .Wait();
  EXPECT_EQ(by_day.code, 0) << by_day.err;
  const auto j = by_day.Json().at(0);
  EXPECT_EQ(j["groups"].size(), 1u);
  EXPECT_EQ(j["groups"][0]["group"], "typed");
  EXPECT_EQ(j["groups"][0]["runs"], 96);
  EXPECT_TRUE(j["groups"][0]["readings"][0]["cpk"].is_number());
  EXPECT_TRUE(j["groups"][0]["readings"][1]["cpk"].is_null());

  auto report =
      Process(f.dir.path(), "--records " + db + " records report --html " + f.Path("r.html"))
          .Wait();
  EXPECT_EQ(report.code, 5);
  const std::string html = ReadFile(f.Path("r.html"));
  EXPECT_LT(html.find("<b class=\"group\">st3</b>"), html.find("<svg"));
  EXPECT_EQ(Process(f.dir.path(), "--records " + db + " records stats --by shift").Wait().code, 2);
}

namespace {

// An SQLite store in `dir` of 1300 records of a simulated line, ids 1 to 1300.
std::string LineStore(const TempDir& dir) {
  const std::string db = dir.path() + "/line.sqlite";
  std::vector<records::RunRecord> rs;
  for (int i = 1; i <= 1300; ++i)
    rs.push_back(sim::LineRecord({}, i));
  records::OpenStore(db)->AddAll(rs);
  return db;
}

}  // namespace

// The statistics take the store's rows on a thread of their own: all of them, in order, and
// what fails on either side comes back once both have ended.
TEST(LineStatistics, RowsTakenAsideComeInOrderAndFailuresComeBack) {
  TempDir dir;
  const std::string db = LineStore(dir);
  auto store = records::OpenStore(db, records::Access::kRead);
  const auto none = [](std::int64_t, const std::string&) {};
  std::vector<std::int64_t> ids;
  bool aside = true;
  EachSummaryAside(
      *store, {},
      [&, caller = std::this_thread::get_id()](const records::Summary& s) {
        ids.push_back(s.id);
        aside = aside && std::this_thread::get_id() != caller;
      },
      none);
  std::vector<std::int64_t> expected(1300);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(ids, expected);
  EXPECT_TRUE(aside);
  int taken = 0;
  EXPECT_THROW(EachSummaryAside(
                   *store, {},
                   [&](const records::Summary&) {
                     if (++taken == 700) throw std::runtime_error("taken");
                   },
                   none),
               std::runtime_error);
  EXPECT_EQ(taken, 700);
  ASSERT_TRUE(Sql(db, "UPDATE vx_runs SET res_cap1 = 'x' WHERE id = 900"));
  try {
    EachSummaryAside(
        *store, {}, [](const records::Summary&) {},
        [](std::int64_t id, const std::string& why) {
          throw records::StoreError(std::to_string(id) + " " + why);
        });
    ADD_FAILURE() << "a broken row's failure did not come back";
  } catch (const records::StoreError& e) {
    EXPECT_STREQ(e.what(), "900 its residual of Capacitor 1 is not a number");
  }
}

// Read by two connections a range of ids at a time, the rows still come in order, damaged ones
// in their place: ids far apart, below the first range, at the largest an id may be. A second
// connection that cannot be opened leaves the first to read alone; a stop ends the reading.
TEST(LineStatistics, RangesReadByTwoConnectionsComeInOrder) {
  TempDir dir;
  const std::string db = LineStore(dir);
  ASSERT_TRUE(Sql(db,
                  "UPDATE vx_runs SET id = CASE id WHEN 1 THEN -7 WHEN 2 THEN 0 WHEN 1300 THEN "
                  "9223372036854775807 ELSE id * 1000 + 5000000 END;"
                  "UPDATE vx_runs SET res_cap1 = 'x' WHERE id IN (0, 5600000)"));
  std::vector<std::int64_t> expected = {-7, 0};
  for (std::int64_t i = 3; i < 1300; ++i)
    expected.push_back(i * 1000 + 5000000);
  expected.push_back(9223372036854775807);
  auto store = records::OpenStore(db, records::Access::kRead);
  int opened = 0;
  const OpenAnother another = [&] {
    ++opened;
    return records::OpenStore(db, records::Access::kRead);
  };
  std::vector<std::int64_t> ids, damaged;
  const auto take = [&](const records::Summary& s) { ids.push_back(s.id); };
  const auto broken = [&](std::int64_t id, const std::string&) {
    damaged.push_back(id);
    ids.push_back(id);
  };
  EachSummaryInRanges(*store, {}, take, broken, another, 4096);
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(damaged, (std::vector<std::int64_t>{0, 5600000}));
  EXPECT_EQ(opened, 1);
  ids.clear();
  EachSummaryInRanges(
      *store, {}, take, broken,
      []() -> std::unique_ptr<records::Store> { throw records::StoreError("no"); }, 100000);
  EXPECT_EQ(ids, expected);
  records::Query newest;
  newest.limit = 5;
  EXPECT_THROW(EachSummaryInRanges(*store, newest, take, broken, another, 4096),
               std::invalid_argument);

  int taken = 0;
  EXPECT_THROW(EachSummaryAside(
                   *store, {},
                   [&](const records::Summary&) {
                     if (++taken == 700) throw std::runtime_error("taken");
                   },
                   broken, another),
               std::runtime_error);
  EXPECT_EQ(taken, 700);
  std::atomic<int> asked{0};  // asked by both readers
  Outside().stops = [&] { return ++asked > 20 ? 1 : 0; };
  taken = 0;
  EXPECT_THROW(EachSummaryInRanges(
                   *store, {}, [&](const records::Summary&) { ++taken; }, broken, another, 4096),
               Interrupted);
  Outside().stops = {};
  EXPECT_LT(taken, 1000);
}

}  // namespace vx::testing
