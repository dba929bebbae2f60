// Records of the runs on both stores, SQLite and a real PostgreSQL server: what each run kind
// and outcome leaves, restores, stores that cannot be written, many stations at once, limits.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "../cli/process.h"
#include "../cli/sim_folder.h"
#include "records/store.h"

namespace vx::testing {

namespace {

// The PostgreSQL cluster that the suite starts for these tests (scripts/pg-test-cluster.sh),
// or the one a sub-run of the suite names.
std::string PgUrl() {
  const char* file = std::getenv("VX_PG_URL_FILE");
  std::string url = ReadFile(file ? file : VX_PG_URL_FILE);
  while (!url.empty() && url.back() == '\n')
    url.pop_back();
  return url;
}

constexpr const char* kVoltages = "--voltages 2050,4160,6240,8360,10455";

}  // namespace

class Records : public ::testing::TestWithParam<const char*>, protected SimFolder {
 protected:
  void SetUp() override {
    where = std::string(GetParam()) == "pg" ? PgUrl() : dir.path() + "/records.sqlite";
    ASSERT_FALSE(where.empty()) << "no PostgreSQL cluster: " << VX_PG_URL_FILE;
    // Each test its own units, so that the shared server's records do not mix tests.
    unit = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    unit = unit.substr(0, unit.find('/')) + "-" + std::to_string(getpid());
  }
  Result Run(const std::string& args, const std::string& u = "") {
    return Process(dir.path(),
                   "--records '" + where + "' --unit " + (u.empty() ? unit : u) + " " + args)
        .Wait();
  }
  std::vector<records::RunRecord> Mine(const std::string& u = "") {
    return records::OpenStore(where)->List({u.empty() ? unit : u, "", "", 0});
  }
  std::string where, unit;
};

TEST_P(Records, EveryRunKindAndOutcomeLeavesARecord) {
  std::string sim = "--fast --sim " + state + " --save-state " + state;
  EXPECT_EQ(Run(sim + " calibrate " + kVoltages + " --temperature 25 --operator ann").code, 0);
  EXPECT_EQ(Run(sim + " calibrate --system-voltage 1999").code, 1);  // the page refuses
  sim::SimState s = sim::DefaultState(5);
  s.faults = {{0, 0x78, "ReadSMBusBlock_", 772, 0, 0}};
  EXPECT_EQ(Run("--fast --sim " + Save("f.json", s) + " system-voltage --actual 12255").code, 1);
  EXPECT_EQ(Run(sim + " pack-voltage --yes").code, 0);
  EXPECT_EQ(Run(sim + " board-offset --software --seconds 1 --yes").code, 0);
  EXPECT_EQ(Run(sim + " bus write-word 0x77 64 read-block 0x78").code, 0);
  Process slow(dir.path(), "--records '" + where + "' --unit " + unit + " --sim " + state +
                               " --trace " + dir.path() + "/t.jsonl calibrate --temperature 25");
  ASSERT_TRUE(WaitForLine(dir.path() + "/t.jsonl", "\"cmd\":88"));  // the reference block
  kill(slow.pid(), SIGINT);
  EXPECT_EQ(slow.Wait().code, 130);

  auto list = Mine();
  ASSERT_EQ(list.size(), 7u);
  std::vector<std::string> got;
  for (const auto& r : list)
    got.push_back(r.run + " " + r.outcome);
  EXPECT_EQ(
      got, (std::vector<std::string>{"calibrate done", "calibrate refused", "system-voltage failed",
                                     "pack-voltage done", "board-offset-software done", "bus done",
                                     "calibrate interrupted"}));
  const auto& done = list[0];
  EXPECT_EQ(done.operator_name, "ann");
  EXPECT_EQ(done.references.size(), 6u);
  EXPECT_EQ(done.references[1].label, "Capacitor 1 + 2");
  EXPECT_EQ(done.readings_before["capacitors_mV"][0], 2112);  // miscalibrated
  EXPECT_EQ(done.readings_after["capacitors_mV"][0], 2050);
  EXPECT_EQ(done.before[0].bytes[8], 0x28);  // capacitor 1's gain 10300 before, 9998 after
  EXPECT_EQ(done.after[0].bytes[8], 0x27);
  EXPECT_EQ(list[1].messages.at(0),
            "Actual system voltage entered appears low. Please check this value and retry "
            "calibration.");
  EXPECT_EQ(list[5].extra["transfers"][0], "write-word");
}

TEST_P(Records, RestoreBringsTheDeviceBackByteForByte) {
  auto original = sim::LoadStateFile(state).dataflash;
  std::string sim = "--fast --sim " + state + " --save-state " + state;
  ASSERT_EQ(Run(sim + " calibrate " + kVoltages + " --system-voltage 12255").code, 0);
  ASSERT_NE(sim::LoadStateFile(state).dataflash, original);
  std::int64_t id = Mine().back().id;
  EXPECT_EQ(Run(sim + " restore " + std::to_string(id)).code, 1);  // not confirmed
  auto r = Run(sim + " restore --yes " + std::to_string(id));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(r.Says("Restored and verified"));
  EXPECT_EQ(sim::LoadStateFile(state).dataflash, original);
  auto restore = Mine().back();
  EXPECT_EQ(restore.run, "restore");
  EXPECT_EQ(restore.extra["restored_record"], id);
  EXPECT_EQ(restore.extra["written"], nlohmann::ordered_json::array({104}));  // 64 was unchanged
  auto shown = Run("records show " + std::to_string(id));
  EXPECT_TRUE(shown.Says("10300 -> 9998")) << shown.out;
}

// A record is input from whoever can write the store: an image longer than a block must never
// reach the device nor the restore's own buffers.
TEST_P(Records, RestoreRefusesAnImageThatIsNotOneBlock) {
  std::string sim = "--fast --sim " + state + " --save-state " + state;
  ASSERT_EQ(Run(sim + " calibrate --system-voltage 12255").code, 0);
  auto planted = Mine().back();
  const auto original = sim::LoadStateFile(state).dataflash;
  for (std::size_t size : {std::size_t{20032}, std::size_t{10}}) {
    planted.before[0].bytes.assign(size, 0x41);
    std::int64_t id = records::OpenStore(where)->Add(planted);
    auto r = Run(sim + " --trace " + Path("t.jsonl") + " restore --yes " + std::to_string(id));
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(r.Says("the before-image of subclass 104 holds " + std::to_string(size) +
                       " bytes, not one block of 32"))
        << r.err;
    EXPECT_EQ(ReadFile(Path("t.jsonl")).find("WriteSMBusBlock"), std::string::npos);
  }
  EXPECT_EQ(sim::LoadStateFile(state).dataflash, original);
}

TEST_P(Records, ManyStationsAtOnceLoseNothing) {
  std::vector<std::unique_ptr<Process>> stations;
  for (int i = 0; i < 8; ++i) {
    std::string st = Save("s" + std::to_string(i) + ".json", sim::MiscalibratedState(5));
    stations.push_back(std::make_unique<Process>(
        dir.path(), "--records '" + where + "' --unit " + unit + "-" + std::to_string(i) +
                        " --station st" + std::to_string(i) + " --fast --sim " + st +
                        " calibrate " + kVoltages + " --temperature 25"));
  }
  for (auto& p : stations)
    EXPECT_EQ(p->Wait().code, 0);
  for (int i = 0; i < 8; ++i) {
    auto list = Mine(unit + "-" + std::to_string(i));
    ASSERT_EQ(list.size(), 1u) << i;
    EXPECT_EQ(list[0].station, "st" + std::to_string(i));
    EXPECT_EQ(list[0].outcome, "done");
    EXPECT_EQ(list[0].references.size(), 6u);
  }
}

INSTANTIATE_TEST_SUITE_P(OnBothStores, Records, ::testing::Values("sqlite", "pg"));

// A store that cannot take the record: the run's outcome and exit code stand, the record is
// kept as a JSON file beside the database, with a warning.
TEST(RecordsFallback, AStoreThatCannotBeWrittenLosesNothing) {
  TempDir dir;
  // A file that is no database (permissions would not stop a test run as root), and a server
  // that is not there.
  std::string db = dir.Write("records.sqlite", std::string(4096, 'x'));
  for (const std::string& where : {db, std::string("postgresql:///x?host=/nonexistent")}) {
    auto r = Process(dir.path(), "--records '" + where +
                                     "' --unit U1 --fast calibrate "
                                     "--temperature 25")
                 .Wait();
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.Says("Calibration done."));
    EXPECT_TRUE(r.Says("warning: the record could not be stored")) << r.err;
  }
  int kept = 0;
  for (const auto& f : std::filesystem::recursive_directory_iterator(dir.path())) {
    if (f.path().filename().string().rfind("unstored-record-", 0) == 0) {
      EXPECT_EQ(records::FromJson(records::Json::parse(ReadFile(f.path()))).unit, "U1");
      ++kept;
    }
  }
  EXPECT_EQ(kept, 2);
}

TEST(RecordsLimits, AUnitOutsideItsLimitsFailsAndCsvCarriesTheResiduals) {
  SimFolder f;
  auto& [dir, state] = f;
  std::string strict = dir.Write("strict.json", "{\"System voltage\": 0.5, \"Temperature\": 1}");
  std::string loose = dir.Write("loose.json", "{\"System voltage\": 2}");
  std::string run = "--fast --sim " + state + " calibrate --system-voltage 12255 --limits ";
  auto out = Process(dir.path(), "--unit A " + run + strict).Wait();
  EXPECT_EQ(out.code, 5);  // system voltage lands 1 mV off
  EXPECT_TRUE(out.Says("outside its limits: System voltage 1 (at most 0.5)")) << out.out;
  EXPECT_EQ(Process(dir.path(), "--unit B " + run + loose).Wait().code, 0);
  EXPECT_EQ(Process(dir.path(), run + dir.Write("bad.json", "{\"Voltage\": 1}")).Wait().code, 2);
  ASSERT_EQ(Process(dir.path(), "records export --csv " + dir.path() + "/r.csv").Wait().code, 0);
  std::string csv = ReadFile(dir.path() + "/r.csv");
  EXPECT_NE(csv.find("id,time_utc,station,operator,unit,run,outcome,Capacitor 1 residual"),
            std::string::npos);
  EXPECT_NE(csv.find(",A,calibrate,out of limits,,,,,,,1,,"), std::string::npos) << csv;
  auto list = Process(dir.path(), "--json records list --outcome 'out of limits'").Wait();
  ASSERT_EQ(list.Json().size(), 1u);
  EXPECT_EQ(list.Json()[0]["unit"], "A");
}

}  // namespace vx::testing
