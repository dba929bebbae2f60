// Records on a shared server: the rights a station needs, a reader that writes nothing, scans
// that end when their taker, the server or another session stops them.
#include <gmock/gmock.h>

#include <csignal>
#include <numeric>
#include <thread>

#include "bench/sim_line.h"
#include "hosts/analytics/summaries_aside.h"
#include "records_fixture.h"

namespace vx::testing {
namespace {

// A station's database user needs no owner's rights once the schema is there.
TEST(RecordsOnAServer, AStationUserWithoutOwnershipStoresRecords) {
  SimFolder f;
  const std::string owner = PgUrl();
  ASSERT_EQ(Process(f.dir.path(), "--records '" + owner + "' --fast calibrate --temperature 25")
                .Wait()
                .code,
            0);
  const std::string grants =
      "DO $$BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'station') THEN "
      "CREATE ROLE station LOGIN; END IF; END$$; "
      "GRANT SELECT, INSERT, UPDATE ON vx_runs, vx_records TO station; "
      "GRANT SELECT ON vx_schema TO station; "
      "GRANT USAGE ON SEQUENCE vx_runs_id_seq TO station;";
  ASSERT_EQ(Psql(f.dir, owner, grants), 0);
  std::string station = owner.substr(0, owner.find("&user=")) + "&user=station";
  auto r = Process(f.dir.path(), "--records '" + station +
                                     "' --unit NOT-OWNER --fast calibrate "
                                     "--temperature 25")
               .Wait();
  EXPECT_EQ(r.code, 0);
  EXPECT_FALSE(r.Says("warning")) << r.err;
  EXPECT_EQ(records::OpenStore(owner)->List({"NOT-OWNER", "", "", "", 0}).size(), 1u);
}

// A database of its own on the suite's server, with the schema in it unless told otherwise.
std::string FreshDatabase(SimFolder& f, const std::string& name, bool schema = true) {
  std::string url = PgUrl();
  EXPECT_EQ(Psql(f.dir, url,
                 "DROP DATABASE IF EXISTS " + name + " WITH (FORCE); CREATE DATABASE " + name),
            0);
  url.replace(url.find("/vx_records?"), 12, "/" + name + "?");
  if (schema) records::OpenStore(url);
  return url;
}

// A query on a database without the schema says so and creates nothing; a store opened to read
// writes nothing; a schema newer than the program's is refused, to read or to write.
TEST(RecordsOnAServer, AReaderCreatesAndWritesNothing) {
  SimFolder f;
  const std::string url = FreshDatabase(f, "vx_reader", false);
  for (const char* q : {"records list", "records show 1", "records stats"})
    EXPECT_TRUE(
        Ended(Process(f.dir.path(), "--records '" + url + "' " + q).Wait(), 3, "holds no records"))
        << q;
  EXPECT_NE(Psql(f.dir, url, "SELECT 1 FROM vx_schema", " >/dev/null 2>&1"), 0);
  records::OpenStore(url)->Add(sim::LineRecord({}, 1));
  auto reader = records::OpenStore(url, records::Access::kRead);
  EXPECT_EQ(reader->List({}).size(), 1u);
  EXPECT_THAT(
      [&] { reader->Add(sim::LineRecord({}, 2)); },
      ::testing::ThrowsMessage<records::StoreError>(::testing::HasSubstr("read-only transaction")));
  ASSERT_EQ(Psql(f.dir, url, "UPDATE vx_schema SET version = 99"), 0);
  for (auto access : {records::Access::kRead, records::Access::kWrite})
    EXPECT_THAT([&] { records::OpenStore(url, access); },
                ::testing::ThrowsMessage<records::StoreError>(
                    ::testing::HasSubstr("schema version 99, newer than this program's")));
}

// A scan its taker breaks off ends at once, one the server stops sending at the limit, and one
// the server cancels with its reason; a value with quotes in it is a value, not SQL; a column whose
// type someone changed is named, not read as something else.
TEST(RecordsOnAServer, AScanEndsWhenItsTakerOrTheServerStopsAndQuotesAreValues) {
  SimFolder f;
  const std::string url = FreshDatabase(f, "vx_broken_off");
  std::vector<records::RunRecord> rs;
  for (int i = 1; i <= 300; ++i) {
    rs.push_back(sim::LineRecord({}, i));
    rs.back().operator_name.resize(40000, 'o');  // more than the socket and libpq hold
  }
  rs[299].outcome = "O'Neil\\'; DROP TABLE vx_runs; --";
  records::OpenStore(url)->AddAll(rs);
  // Read by two connections, sixteen ids at a time in turn: every row once, in order.
  std::vector<std::int64_t> ids, all(300);
  std::iota(all.begin(), all.end(), 1);
  const OpenAnother another = SecondReader(url);
  ASSERT_TRUE(another);
  int opened = 0;
  EachSummaryInRanges(
      *records::OpenStore(url, records::Access::kRead), {},
      [&](const records::Summary& s) { ids.push_back(s.id); }, {},
      [&] {
        ++opened;
        return another();
      },
      16);
  EXPECT_EQ(ids, all);
  EXPECT_EQ(opened, 1);
  int taken = 0, backend = 0;
  const auto take = [&](const records::Summary& s) { taken = ++taken == 10 ? throw 1 : int(s.id); };
  // Broken off, the connection is given up: the server ends the scan as it closes.
  auto reader = records::OpenStore(url, records::Access::kRead);
  const auto given_up =
      ::testing::ThrowsMessage<records::StoreError>(::testing::HasSubstr("was given up"));
  EXPECT_THROW(reader->EachSummary({}, take, {}), int);
  EXPECT_THAT([&] { reader->EachSummary({}, take, {}); }, given_up);
  reader.reset();  // until it closes, its server holds the table for the scan
  records::OpenStore(url)->EachSummary({"", "", "", rs[299].outcome}, take, {});
  EXPECT_EQ(taken, 300);
  // A server that stops sending in the middle of a scan: it ends at the limit, asleep meanwhile.
  records::SetWaitLimit(std::chrono::seconds(1));
  const auto stop = [&](const records::Summary& s) {
    if (s.id != 10 || backend > 0) return;  // once, also when the check runs it again
    Psql(f.dir, url,
         "SELECT pid FROM pg_stat_activity WHERE datname = current_database() AND query "
         "LIKE 'COPY%' ORDER BY backend_start DESC LIMIT 1",
         " > " + f.Path("pid"));
    if ((backend = std::atoi(ReadFile(f.Path("pid")).c_str())) > 0) ::kill(backend, SIGSTOP);
  };
  EXPECT_THAT([&] { records::OpenStore(url, records::Access::kRead)->EachSummary({}, stop, {}); },
              ::testing::ThrowsMessage<records::StoreError>(
                  ::testing::HasSubstr("did not answer within 1 s")));
  if (backend > 0) ::kill(backend, SIGCONT);
  records::SetWaitLimit(std::chrono::seconds(10));
  // A scan the server ends with an error after some rows gives the server's reason.
  const auto cancel = [&](const records::Summary& s) {
    if (s.id == 10)
      Psql(f.dir, url,
           "SELECT pg_cancel_backend(pid) FROM pg_stat_activity WHERE datname = "
           "current_database() AND query LIKE 'COPY%'");
  };
  EXPECT_THAT([&] { records::OpenStore(url, records::Access::kRead)->EachSummary({}, cancel, {}); },
              ::testing::ThrowsMessage<records::StoreError>(
                  ::testing::HasSubstr("canceling statement due to user request")));
  ASSERT_EQ(Psql(f.dir, url, "ALTER TABLE vx_runs ALTER res_cap1 TYPE numeric"), 0);
  EXPECT_TRUE(Ended(Process(f.dir.path(), "--records '" + url + "' records stats").Wait(), 3,
                    "a column is of another type than the schema's (type 1700)"));
  reader = records::OpenStore(url, records::Access::kRead);
  EXPECT_THROW(reader->EachSummary({}, take, {}), records::StoreError);
  EXPECT_THAT([&] { reader->EachSummary({}, take, {}); }, given_up);
}

// Another session holding the table: each wait for it ends at the limit or at a signal, the
// record kept in a file, and nothing waits behind the lock after that.
TEST(RecordsOnAServer, ALockedTableHoldsARunNoLongerThanItsLimit) {
  SimFolder f;
  const std::string url = FreshDatabase(f, "vx_locked");
  ASSERT_EQ(Psql(f.dir, url,
                 "BEGIN; LOCK TABLE vx_runs IN ACCESS EXCLUSIVE MODE; SELECT pg_sleep(8); COMMIT;",
                 " >/dev/null 2>&1 &"),
            0);
  const std::string held = f.dir.Write("held.sql",
                                       "SELECT count(*) FROM pg_locks l JOIN pg_class c ON c.oid "
                                       "= l.relation WHERE c.relname = 'vx_runs' AND l.granted "
                                       "AND l.mode = 'AccessExclusiveLock'");
  const std::string granted = "psql -XAtq '" + url + "' -f " + held + " | grep -qx 1";
  for (int i = 0; i < 100 && std::system(granted.c_str()) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::string run = "--records '" + url + "' --fast calibrate --temperature 25";
  auto t = std::chrono::steady_clock::now();
  auto r = Process(f.dir.path(), "--records-timeout 1 " + run).Wait();
  EXPECT_LT(std::chrono::steady_clock::now() - t, std::chrono::seconds(4));
  EXPECT_TRUE(Ended(r, 0, "did not answer within 1 s"));
  EXPECT_TRUE(r.Says("it was written to")) << r.err;
  Process stopped(f.dir.path(), run);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  t = std::chrono::steady_clock::now();
  kill(stopped.pid(), SIGTERM);
  r = stopped.Wait();
  EXPECT_LT(std::chrono::steady_clock::now() - t, std::chrono::seconds(1));
  EXPECT_TRUE(Ended(r, 130, "it was written to"));
}

}  // namespace
}  // namespace vx::testing
