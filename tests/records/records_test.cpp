// Records of the runs on both stores, SQLite and a real PostgreSQL server: what each run kind
// and outcome leaves, many stations at once, restore onto the right unit only, the trail
// through interrupts and kills, records kept in files and brought back.
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "records_fixture.h"

namespace vx::testing {

TEST_P(Records, EveryRunKindAndOutcomeLeavesARecord) {
  EXPECT_EQ(Run(sim + " calibrate " + kVoltages + " --temperature 25 --operator ann").code, 0);
  EXPECT_EQ(Run(sim + " --max-correction 100 calibrate --system-voltage 1999").code,
            1);  // the page
  sim::SimState s = sim::DefaultState(5);
  // The second subclass selection is the record's first read of the data flash.
  s.faults = {{0, 0x77, "WriteSMBusWord_", 772, 2, 0}, {0, 0x78, "ReadSMBusBlock_", 772, 0, 0}};
  EXPECT_EQ(Run("--fast --sim " + Save("f.json", s) + " system-voltage --actual 12255").code, 1);
  EXPECT_EQ(Run(sim + " pack-voltage --yes").code, 0);
  EXPECT_EQ(Run(sim + " bus write-word 0x77 64 read-block 0x78").code, 0);

  auto list = Mine();
  ASSERT_EQ(list.size(), 5u);
  std::vector<std::string> got;
  for (const auto& r : list)
    got.push_back(r.run + " " + r.outcome);
  EXPECT_EQ(
      got, (std::vector<std::string>{"calibrate done", "calibrate refused", "system-voltage failed",
                                     "pack-voltage done", "bus done"}));
  const records::Image& unread = list[2].before.at(0);  // its subclass could not be selected
  EXPECT_EQ(unread.status, 772);
  EXPECT_TRUE(unread.bytes.empty());  // no bytes it did not send
  const auto& done = list[0];
  EXPECT_EQ(done.operator_name, "ann");
  EXPECT_EQ(done.uid.size(), 32u);
  EXPECT_EQ(done.readings_before["capacitors_mV"][0], 2112);  // miscalibrated
  EXPECT_EQ(done.readings_after["capacitors_mV"][0], 2050);
  EXPECT_EQ(list[1].messages.at(0),
            "Actual system voltage entered appears low. Please check this value and retry "
            "calibration.");
  EXPECT_EQ(list[4].extra["transfers"][0], "write-word");
  auto shown = Run("records show " + std::to_string(done.id));
  EXPECT_TRUE(shown.Says("10300 -> 9998")) << shown.out;
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
  }
}

// A restore goes onto the record's unit as its run left it, or it says why not and writes
// nothing; --force goes on past every difference, printing and recording each.
TEST_P(Records, RestoreOnlyOntoTheUnitItsRunLeft) {
  const auto original = sim::LoadStateFile(state).dataflash;
  ASSERT_EQ(Run(sim + " calibrate " + kVoltages + " --system-voltage 12255").code, 0);
  const std::string id = std::to_string(Mine().back().id);
  const std::string three = Save("three.json", sim::DefaultState(3));
  struct Case {
    std::string args, says;
  };
  for (const Case& c : std::vector<Case>{
           {"--sim " + three + " restore --yes " + id, "(5 series capacitors there, 3 here)"},
           {"--target-info 800.2.00 " + sim + " restore --yes " + id, "target info 800.1.02"},
           {sim + " restore " + id, "--yes answers the confirmation"}}) {
    EXPECT_TRUE(
        Ended(Process(dir.path(), "--records '" + where + "' --fast " + c.args).Wait(), 1, c.says));
  }
  EXPECT_EQ(sim::DefaultState(3).dataflash, sim::LoadStateFile(three).dataflash);
  // A later calibration would be undone: refused, then forced.
  ASSERT_EQ(Run(sim + " calibrate --system-voltage 12000").code, 0);
  EXPECT_TRUE(Ended(Run(sim + " restore --yes " + id), 1, "a later calibration would be undone"));
  auto forced = Run(sim + " --json restore --force --yes " + id);
  ASSERT_EQ(forced.code, 0) << forced.err;
  EXPECT_TRUE(forced.Says("forced: the device's CalibrationData is not as"));
  EXPECT_EQ(forced.Json().back()["cannot_undo"].get<std::string>().rfind("A restore brings", 0),
            0u);
  EXPECT_EQ(sim::LoadStateFile(state).dataflash, original);
  auto restore = Mine().back();
  EXPECT_EQ(restore.run, "restore");
  EXPECT_EQ(restore.extra["forced"].size(), 1u);
}

// The trail survives: a killed run leaves its record with the data flash from before, and a
// stop in the middle of a restore or of raw transfers is recorded with what was done.
TEST_P(Records, InterruptsAndKillsLeaveTheTrail) {
  const auto original = sim::LoadStateFile(state).dataflash;
  const std::string trace = Path("t.jsonl");
  Process killed(dir.path(), "--records '" + where + "' --unit " + unit + " --sim " + state +
                                 " --trace " + trace + " calibrate " + kVoltages +
                                 " --temperature 25");
  ASSERT_TRUE(WaitForLine(trace, "\"cmd\":88"));  // data flash written, the device busy
  kill(killed.pid(), SIGKILL);
  killed.Wait();
  auto left = Mine();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].outcome, "incomplete");
  EXPECT_EQ(left[0].before[0].bytes,
            std::vector<std::uint8_t>(original.at(104).begin(), original.at(104).end()));
  // The killed run's data flash was never saved: the state file stands for a device that was
  // calibrated before it died.
  sim::SimState calibrated = sim::LoadStateFile(state);
  calibrated.dataflash[104][8] = 0x27;
  calibrated.dataflash[64][1] = 0x21;
  sim::SaveStateFile(calibrated, state);
  // A record whose run did not end has nothing to compare the device with: it needs --force.
  EXPECT_TRUE(Ended(Run(sim + " restore --yes " + std::to_string(left[0].id)), 1,
                    "is of a run that did not end (incomplete)"));
  const std::string restore_trace = Path("restore.jsonl");
  Process restore(dir.path(), "--records '" + where + "' --unit " + unit + " --sim " + state +
                                  " --save-state " + state + " --trace " + restore_trace +
                                  " restore --force --yes " + std::to_string(left[0].id));
  ASSERT_TRUE(WaitForLine(restore_trace, "\"method\":\"WriteSMBusBlock\""));
  kill(restore.pid(), SIGTERM);
  auto r = restore.Wait();
  EXPECT_TRUE(Ended(r, 130, "interrupted by SIGTERM"));
  EXPECT_TRUE(r.Says("the rest of the run was not done")) << r.err;
  auto stopped = Mine().back();
  EXPECT_EQ(stopped.run, "restore");
  EXPECT_EQ(stopped.outcome, "interrupted");
  EXPECT_EQ(stopped.extra["written"].size(), 1u);  // the second block was never begun
  EXPECT_EQ(sim::LoadStateFile(state).dataflash.at(104), original.at(104));  // state saved

  std::string words = "write-word 0x77 104";
  for (int i = 0; i < 5000; ++i)
    words += " read-word 0x09";
  const std::string bus_trace = Path("bus.jsonl");
  Process bus(dir.path(), "--records '" + where + "' --unit " + unit + " --sim " + state +
                              " --trace " + bus_trace + " bus " + words);
  ASSERT_TRUE(WaitForLine(bus_trace, "\"seq\":200,"));
  kill(bus.pid(), SIGINT);
  EXPECT_EQ(bus.Wait().code, 130);
  auto transfers = Mine().back();
  EXPECT_EQ(transfers.outcome, "interrupted");
  EXPECT_LT(transfers.extra["transfers"].size(), 5001u * 2);
  EXPECT_EQ(transfers.extra["planned"], 5001);
}

INSTANTIATE_TEST_SUITE_P(OnBothStores, Records, ::testing::Values("sqlite", "pg"));

// A program started without standard input (a service, cron) creates its first database on
// descriptor 0.
TEST(RecordsFallback, ANewDatabaseOnDescriptorZero) {
  TempDir dir;
  const int saved = dup(0);
  close(0);
  EXPECT_NO_THROW(records::OpenStore(dir.path() + "/new.sqlite"));
  dup2(saved, 0);
  close(saved);
}

// A store that cannot take the record: the run's outcome and exit code stand, each record is
// kept in a file of its own beside the database, and an import brings each in once.
TEST(RecordsFallback, RecordsKeptInFilesComeBackOnce) {
  SimFolder f;
  auto& [dir, state] = f;
  // A file that is no database (permissions would not stop a test run as root), and a server
  // that is not there.
  std::string db = dir.Write("records.sqlite", std::string(4096, 'x'));
  for (const std::string& where : {db, std::string("postgresql:///x?host=/nonexistent")}) {
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(
          Ended(Process(dir.path(), "--records '" + where + "' --unit U1 --fast --sim " + state +
                                        " --max-correction 100 calibrate --system-voltage 1999")
                    .Wait(),
                1, "warning: the record could not be stored"));
    }
  }
  std::vector<std::string> kept;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
    if (e.path().filename().string().rfind("unstored-record-", 0) == 0) {
      kept.push_back(e.path().string());
      EXPECT_EQ(std::filesystem::status(e.path()).permissions() & std::filesystem::perms::all,
                std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
  }
  ASSERT_EQ(kept.size(), 6u);
  std::string files;
  for (const auto& k : kept)
    files += " '" + k + "'";
  const std::string store = "--records " + dir.path() + "/good.sqlite";
  auto first = Process(dir.path(), store + " --json records import" + files).Wait();
  EXPECT_EQ(first.code, 0) << first.err;
  auto again = Process(dir.path(), store + " --json records import" + files).Wait();
  int imported = 0;
  for (const auto& line : first.Json())
    imported += line["imported"].get<bool>();
  for (const auto& line : again.Json())
    imported += line["imported"].get<bool>() ? 100 : 0;
  EXPECT_EQ(imported, 6);
  EXPECT_EQ(records::OpenStore(dir.path() + "/good.sqlite")->List({}).size(), 6u);
  // A record in a file can be restored as it stands (here: the page refused, nothing to undo
  // beyond the images it holds).
  auto restored =
      Process(dir.path(), store + " --fast --sim " + state + " restore --yes '" + kept[0] + "'")
          .Wait();
  EXPECT_EQ(restored.code, 0) << restored.err;
}

}  // namespace vx::testing
