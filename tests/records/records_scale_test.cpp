// Records at a line's scale: every query the hosts make is answered from an index, lists come a
// page at a time, an export streams past any memory limit, and a store of an older schema is
// brought up to date in place, once, all or nothing.
#include <cstdio>
#include <filesystem>

#include "bench/sim_line.h"
#include "records_fixture.h"

namespace vx::testing {

namespace {

records::RunRecord LineRecord(std::int64_t i, const std::string& unit_prefix) {
  records::RunRecord r = sim::LineRecord({}, i);
  r.unit = unit_prefix + r.unit;
  r.uid = records::NewUid();  // the shared server holds other tests' lines
  return r;
}

std::vector<std::int64_t> Ids(const Result& r) {
  std::vector<std::int64_t> ids;
  for (const auto& j : r.Json())
    ids.push_back(j["id"].get<std::int64_t>());
  return ids;
}

}  // namespace

class RecordsAtScale : public Records {};

// The plans of the filtered queries, on the database's own words: an index, never a scan of
// the table.
TEST_P(RecordsAtScale, QueriesAreAnsweredFromAnIndex) {
  auto store = records::OpenStore(where);
  std::vector<records::RunRecord> line;
  for (int i = 0; i < 3000; ++i)
    line.push_back(LineRecord(i, unit));
  store->AddAll(line);
  records::Query by_unit, day, failed, page, before;
  by_unit.unit = unit + "U-00000042";
  day.since = day.until = line[2500].time_utc.substr(0, 10);
  failed.outcome = "failed";
  page.newest_first = true;
  page.limit = 200;
  before = page;
  before.before_id = 100;
  for (const records::Query& q : {by_unit, day, failed, before}) {
    const std::string plan = store->Plan(q);
    EXPECT_TRUE(plan.find("INDEX") != std::string::npos ||
                plan.find("Index") != std::string::npos ||
                plan.find("PRIMARY KEY") != std::string::npos)
        << plan;
    EXPECT_EQ(plan.find("SCAN r"), std::string::npos) << plan;  // SQLite: the whole table
    EXPECT_EQ(plan.find("Seq Scan"), std::string::npos) << plan;
  }
}

// Pages of a list: the newest N, those before an id, those after; a terminal gets a page and
// how to see the rest, a script everything.
TEST_P(RecordsAtScale, ListsComeAPageAtATime) {
  auto store = records::OpenStore(where);
  std::vector<records::RunRecord> line;
  for (int i = 0; i < 120; ++i) {
    line.push_back(LineRecord(i, ""));
    line.back().unit = unit;
  }
  store->AddAll(line);
  auto list = [&](const std::string& args) {
    return Ids(Run("--json records list --unit " + unit + " " + args));
  };
  const std::vector<std::int64_t> ids = list("");
  ASSERT_EQ(ids.size(), 120u);
  EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
  EXPECT_EQ(list("--limit 2"), (std::vector<std::int64_t>{ids[118], ids[119]}));
  EXPECT_EQ(list("--limit 2 --before-id " + std::to_string(ids[110])),
            (std::vector<std::int64_t>{ids[108], ids[109]}));
  EXPECT_EQ(list("--limit 2 --after-id " + std::to_string(ids[9])),
            (std::vector<std::int64_t>{ids[10], ids[11]}));
  EXPECT_EQ(
      list("--after-id " + std::to_string(ids[9]) + " --before-id " + std::to_string(ids[110]))
          .size(),
      100u);
  EXPECT_EQ(Run("records list --limit -1").code, 2);

  // On a terminal: the newest page, and where the rest is.
  FILE* tty = popen(("script -qec \"" VX_CLI_PATH " --records '" + where + "' --unit " + unit +
                     " records list --unit " + unit + "\" /dev/null")
                        .c_str(),
                    "r");
  ASSERT_NE(tty, nullptr);
  std::string shown;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, tty)) > 0;)
    shown.append(buf, n);
  EXPECT_EQ(pclose(tty), 0);
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 51) << shown;
  EXPECT_NE(shown.find("The newest 50 shown; earlier ones: --before-id " + std::to_string(ids[70]) +
                       ", all: --limit 0"),
            std::string::npos)
      << shown;
  EXPECT_EQ(shown.find(" " + std::to_string(ids[69]) + "  "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(OnBothStores, RecordsAtScale, ::testing::Values("sqlite", "pg"));

// A store of the first schema: a reader is told to let a writer bring it up to date; a
// migration that fails changes nothing; one that succeeds fills the new columns from the
// records, once.
TEST(RecordsSchema, AVersionOneStoreIsMigratedOnceAllOrNothing) {
  TempDir dir;
  const std::string db = dir.path() + "/old.sqlite";
  records::RunRecord r = sim::LineRecord({}, 7);
  records::Json old = records::ToJson(r);
  old.erase("uid");
  ASSERT_TRUE(Sql(db,
                  "CREATE TABLE vx_schema (version INTEGER NOT NULL); INSERT INTO vx_schema VALUES "
                  "(1); CREATE TABLE vx_runs (id INTEGER PRIMARY KEY AUTOINCREMENT, time_utc TEXT "
                  "NOT NULL, station TEXT NOT NULL, operator TEXT NOT NULL, unit TEXT NOT NULL, "
                  "run TEXT NOT NULL, outcome TEXT NOT NULL, record TEXT NOT NULL); CREATE INDEX "
                  "vx_runs_unit ON vx_runs (unit); CREATE INDEX vx_runs_time ON vx_runs "
                  "(time_utc); INSERT INTO vx_runs (time_utc, station, operator, unit, run, "
                  "outcome, record) VALUES ('" +
                      r.time_utc + "', 'st8', 'op', '" + r.unit + "', 'calibrate', 'done', '" +
                      old.dump() + "'), ('t', 's', 'o', 'u', 'r', 'done', '{');"));
  // Read as it stands; what needs the derived columns names the upgrade.
  auto read = Process(dir.path(), "--records " + db + " records list").Wait();
  EXPECT_EQ(read.code, 0) << read.err;
  EXPECT_NE(read.out.find("    2  t  "), std::string::npos) << read.out;
  EXPECT_TRUE(Process(dir.path(), "--records " + db + " records show 1").Wait().Says(r.unit));
  auto stats = Process(dir.path(), "--records " + db + " records stats").Wait();
  EXPECT_EQ(stats.code, 3);
  EXPECT_TRUE(
      stats.Says("older schema version 1; vx58420cal records upgrade brings it up to "
                 "date (the statistics cannot do without it)"))
      << stats.err;

  ASSERT_TRUE(Sql(db, "CREATE TABLE vx_runs_outcome (x)"));  // the new index's name taken
  EXPECT_THROW(records::OpenStore(db), records::StoreError);
  EXPECT_FALSE(Sql(db, "SELECT meter FROM vx_runs"));  // rolled back whole
  EXPECT_FALSE(Sql(db, "SELECT uid FROM vx_runs"));
  ASSERT_TRUE(Sql(db, "DROP TABLE vx_runs_outcome"));

  auto up = Process(dir.path(), "--records " + db + " records upgrade").Wait();
  EXPECT_TRUE(Ended(up, 0, "brought up to date from schema version 1 to 3"));
  std::vector<records::Summary> got;
  auto each = [&] {
    got.clear();
    records::OpenStore(db)->EachSummary(
        {}, [&](const records::Summary& s) { got.push_back(s); },
        [](std::int64_t, const std::string&) {});
  };
  each();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].residuals, records::ByReading(r.residuals));
  EXPECT_EQ(got[0].corrections,
            records::ByReading(records::Corrections(r.references, r.readings_before)));
  EXPECT_TRUE(got[0].corrections[7].has_value());
  EXPECT_EQ(got[1].residuals, records::PerReading{});  // no record: its columns stay empty
  EXPECT_TRUE(records::OpenStore(db)->Get(1)->uid.empty());
  EXPECT_EQ(Sql(db, "SELECT version FROM vx_schema"), "3");
  // A record stored since then is like any other; the migration does not run again.
  records::OpenStore(db)->Add(sim::LineRecord({}, 8));
  each();
  EXPECT_EQ(got.size(), 3u);
}

// An export of more than fits in its memory limit: rows are written as they are read.
TEST(RecordsExport, MoreThanFitsInMemoryStreams) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#endif
  TempDir dir;
  const std::string db = dir.path() + "/big.sqlite";
  std::vector<records::RunRecord> line;
  for (int i = 0; i < 3000; ++i) {
    line.push_back(sim::LineRecord({}, i));
    line.back().messages = {std::string(50000, 'm')};  // 150 MB of records in all
  }
  records::OpenStore(db)->AddAll(line);
  line.clear();
  auto r =
      Process(dir.path(), "--records " + db + " records export --csv " + dir.path() + "/all.csv",
              "ulimit -v 102400 &&")
          .Wait();
  EXPECT_EQ(r.code, 0) << r.err;
  const std::string csv = ReadFile(dir.path() + "/all.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3001);

  // So is bringing the same records up from the first schema (what it derives waits on disk).
  ASSERT_TRUE(Sql(db,
                  "CREATE TABLE v1 (id INTEGER PRIMARY KEY AUTOINCREMENT, time_utc TEXT NOT NULL, "
                  "station TEXT NOT NULL, operator TEXT NOT NULL, unit TEXT NOT NULL, run TEXT NOT "
                  "NULL, outcome TEXT NOT NULL, record TEXT NOT NULL); INSERT INTO v1 SELECT r.id, "
                  "time_utc, station, operator, unit, run, outcome, x.record FROM vx_runs r JOIN "
                  "vx_records x ON x.id = r.id; DROP TABLE vx_runs; DROP TABLE vx_records; ALTER "
                  "TABLE v1 RENAME TO vx_runs; UPDATE vx_schema SET version = 1;"));
  auto up =
      Process(dir.path(), "--records " + db + " records upgrade", "ulimit -v 102400 &&").Wait();
  EXPECT_EQ(up.code, 0) << up.err;
  EXPECT_EQ(Sql(db, "SELECT COUNT(*) FROM vx_runs WHERE cor_temp IS NOT NULL"), "3000");
}

// A store kept open (the desktop's) copies its log back into the file as it goes, after each
// writer's turn: the log does not grow with the records stored.
TEST(RecordsSchema, AStoreKeptOpenCopiesItsLogBack) {
  TempDir dir;
  const std::string db = dir.path() + "/open.sqlite";
  auto store = records::OpenStore(db);
  auto reader = records::OpenStore(db, records::Access::kRead);  // the file is never closed
  for (int i = 1; i <= 1000; ++i)                                // 130 MB of log without a copy
    store->Add(sim::LineRecord({}, i));
  store.reset();  // its copy finished
  EXPECT_LT(std::filesystem::file_size(db + "-wal"), 64u << 20);
  EXPECT_EQ(Sql(db, "SELECT COUNT(*) FROM vx_runs"), "1000");
}

// A server whose database sorts texts by a language's rules (which skip punctuation) still
// compares times as the texts they are: the whole of --until's day is in.
TEST(RecordsOnAServer, TimesCompareAsTextsWhateverTheLocale) {
  TempDir dir;
  const std::string owner = PgUrl();
  ASSERT_EQ(Psql(dir, owner,
                 "DROP DATABASE IF EXISTS vx_de; CREATE DATABASE vx_de LOCALE 'de_DE.UTF-8' "
                 "TEMPLATE template0;"),
            0);
  std::string url = owner;
  url.replace(url.find("/vx_records?"), 12, "/vx_de?");
  records::OpenStore(url)->Add(sim::LineRecord({}, 1500));  // 2026-01-01, 18:00
  auto count = [&](const std::string& args) {
    return Process(dir.path(), "--records '" + url + "' --json records list " + args)
        .Wait()
        .Json()
        .size();
  };
  EXPECT_EQ(count("--until 2026-01-01"), 1u);
  EXPECT_EQ(count("--since 2026-01-01T18:00 --until 2026-01-01T18:00"), 1u);
  EXPECT_EQ(count("--since 2026-01-01T18:01"), 0u);
}

}  // namespace vx::testing
