// The station core in one process, in virtual time: the recorded-run procedure, the tables of
// runs and reference boxes, the device connection, restore; the operations with a scripted UI
// in front: what they ask, refuse, record and show.
#include <gtest/gtest.h>

#include <deque>

#include <filesystem>

#include "control/cal.h"
#include "control/module.h"
#include "hosts/station/page_state.h"
#include "hosts/station/references.h"
#include "hosts/station/restore.h"
#include "platform/console_platform.h"
#include "records/store.h"
#include "sim/sim_device.h"
#include "test_files.h"
#include "traffic.h"

namespace vx::testing {

namespace {

const char* const kTaps[] = {"2050", "4160", "6240", "8360", "10455"};

// Answers each question with the next answer given (Cancel when none is left) and keeps what
// it was asked and shown.
struct ScriptedUi : StationUi {
  std::deque<bool> answers;
  std::vector<std::pair<Question, std::vector<std::string>>> asked;
  std::vector<std::string> warned;
  std::vector<Outcome> shown;
  int runs = 0;
  bool Ask(Question q, const std::string&, const std::vector<std::string>& points) override {
    asked.emplace_back(q, points);
    const bool ok = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return ok;
  }
  void Warn(const std::string& text) override { warned.push_back(text); }
  void RunStarts(const RunKind&) override { ++runs; }
  void RunEnds() override {}
  void Show(const Outcome& o) override { shown.push_back(o); }
};

}  // namespace

class StationTest : public ::testing::Test {
 protected:
  StationTest() {
    ResetThisThreadModule();
    dir.Write("Config.ini", "");
    station.info.records = dir.path() + "/records.sqlite";
    station.info.unit = "U1";
    station.properties = {0x16, "800.1.02", dir.path(), std::nullopt};
    platform.shown = [this](const std::string& text, const std::string&, Buttons, Answer) {
      station.NoteMessage(text);
    };
  }
  ~StationTest() override {
    station.control().Adopt(nullptr);
    ResetThisThreadModule();
  }
  // The device from a state file, the control linked in and shown on it.
  void Open(const sim::SimState& s) {
    state = dir.path() + "/state.json";
    sim::SaveStateFile(s, state);
    std::string error;
    ASSERT_TRUE(station.device().Open({true, state, "", 0x0B, false}, error)) << error;
    cal.reset(new Cal());
    station.control().Adopt(cal.get());
    station.state_file = state;
    station.Show();
  }
  // The system voltage typed and given for this unit, and ticked.
  void GiveSystemVoltage(const char* mv) {
    f().Type("txtActualSystemVoltage", mv);
    station.NoteGiven("txtActualSystemVoltage", mv);
    f().At("chkSystemVoltage").SetValue(1);
  }
  FormModel& f() { return station.control().form(); }
  void Tick(const char* box) { f().At(box).SetValue(1); }
  sim::SimDevice& dev() { return *station.device().simulator(); }
  std::vector<records::RunRecord> Stored() {
    return records::OpenStore(station.info.store())->List({});
  }

  struct Release {
    void operator()(Cal* c) const { c->Release(); }
  };
  ConsolePlatform platform{true};
  ScriptedUi ui;
  Station station{platform, platform.interrupt, &ui};
  TempDir dir;
  std::string state;
  std::unique_ptr<Cal, Release> cal;
};

TEST_F(StationTest, ARunIsRecordedWithWhatItChangedAndJudged) {
  Open(sim::MiscalibratedState(5));
  for (int k = 0; k < 5; ++k)
    f().Type("txtVoltage(" + std::to_string(k) + ")", kTaps[k]);
  f().Type("txtActualSystemVoltage", "12255");
  Tick("chkVoltageCal");
  Tick("chkSystemVoltage");
  station.limits = Limits{"strict.json", {{"System voltage", 0.5}, {"Stack Voltage", 5}}};
  RunResult r = station.Run(*RunNamed("calibrate"));
  EXPECT_TRUE(r.outcome.done);
  EXPECT_EQ(r.outcome.verdict, "out of limits");  // the system voltage lands 1 mV off
  const records::RunRecord& rec = r.record;
  EXPECT_EQ(rec.run, "calibrate");
  EXPECT_EQ(rec.device, "simulator " + state);
  EXPECT_EQ(rec.unit, "U1");
  ASSERT_EQ(rec.references.size(), 6u);
  EXPECT_EQ(rec.references[4].label, "Capacitor 1 through 5");
  EXPECT_EQ(rec.references[5].label, "actual system voltage");
  EXPECT_EQ(rec.ticked, (std::vector<std::string>{"Capacitor Stack Voltage Calibration",
                                                  "System Voltage Calibration"}));
  EXPECT_EQ(rec.residuals["System voltage"], 1);
  EXPECT_EQ(rec.residuals["Stack Voltage"], 0);
  EXPECT_EQ(rec.limits["checks"].size(), 2u);
  EXPECT_EQ(rec.before[0].bytes[8], 0x28);  // capacitor 1's gain 10300 before, 9998 after
  EXPECT_EQ(rec.after[0].bytes[8], 0x27);
  ASSERT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Stored()[0].outcome, "out of limits");

  // The page refuses: nothing written, the page's message kept.
  f().Type("txtActualSystemVoltage", "1999");
  f().At("chkVoltageCal").SetValue(0);
  r = station.Run(*RunNamed("calibrate"));
  EXPECT_EQ(r.outcome.verdict, "refused");
  EXPECT_EQ(r.record.before[0].bytes, r.record.after[0].bytes);
  ASSERT_EQ(r.record.messages.size(), 1u);
  EXPECT_EQ(r.record.messages[0].rfind("Actual system voltage entered appears low", 0), 0u);

  // A host method: the done mark of the run before does not count.
  f().Type("txtActualSystemVoltage", "12255");
  f().At("imgCalDoneBox").SetVisible(true);
  dev().AddFault({0, 0x78, "ReadSMBusBlock_", kStatusNack, 0, 0});
  r = station.Run(*RunNamed("system-voltage"));
  EXPECT_FALSE(r.outcome.done);
  EXPECT_EQ(r.outcome.verdict, "failed");
  EXPECT_EQ(r.record.ticked, std::vector<std::string>{"System Voltage Calibration"});
  EXPECT_EQ(Stored().size(), 3u);
}

// What the progress display says the device is doing follows the bus, step by step, and the
// account of the run says what it changed.
TEST_F(StationTest, TheAccountFollowsTheDevice) {
  Open(sim::MiscalibratedState(5));
  std::vector<std::string> steps;
  station.device().Listen([&](const BusEvent&) {
    const std::string& now = station.device().account().activity();
    if (steps.empty() || steps.back() != now) steps.push_back(now);
  });
  f().Type("txtTemperature", "25");
  f().Type("txtCurrent", "-500");
  Tick("chkTempCal");
  Tick("chkCurrentCal");
  EXPECT_TRUE(station.Run(*RunNamed("calibrate")).outcome.done);
  EXPECT_EQ(steps, (std::vector<std::string>{
                       "reading the measurements", "entering calibration mode",
                       "sending the reference values", "switching the FETs on",
                       "the device is calibrating", "reading the device's result",
                       "the device stores its calibration", "leaving calibration mode",
                       "switching the FETs off", "reading the measurements"}));
  EXPECT_EQ(station.device().account().Summary(),
            "no data flash was written, the device stored a calibration once; calibration mode "
            "was left; FETs off");
  // A word to the manufacturer access other than the entry word enters nothing.
  DeviceAccount account;
  account.Note({AdapterMethod::kWriteSMBusWord, 0x16, 0x00, {0x00, 0x41}});
  EXPECT_EQ(account.activity(), "");
  account.Note({AdapterMethod::kWriteSMBusWord, 0x16, 0x00, {0x00, 0x40}});  // the entry word
  EXPECT_EQ(account.activity(), "entering calibration mode");
  EXPECT_EQ(account.Summary(), "no data flash was written");  // two words were
  for (int k = 0; k < 2; ++k)
    account.Note({AdapterMethod::kWriteSMBusCommand, 0x16, 0x72, {}});  // the store command
  EXPECT_EQ(TookEffect({}, account),
            std::vector<std::string>{"the device stored calibrations of its own"});
}

TEST_F(StationTest, TheReferenceTableFollowsThePage) {
  Open(sim::DefaultState(3));
  Tick("chkVoltageCal");
  Tick("chkTempCal");
  Tick("chkCurrentCal");
  const RunKind& calibrate = *RunNamed("calibrate");
  EXPECT_EQ(ReferenceKeysFor(f(), calibrate),
            (std::vector<std::string>{"txtVoltage(0)", "txtVoltage(1)", "txtVoltage(2)",
                                      "txtTemperature", "txtCurrent"}));
  EXPECT_EQ(ReferenceKeysFor(f(), *RunNamed("board-offset-software")),
            std::vector<std::string>{"txtBrdOffTime"});
  EXPECT_TRUE(ReferenceKeysFor(f(), *RunNamed("pack-voltage")).empty());
  EXPECT_EQ(*ConfiguredCount(f()), 3);
  // No meter gives the board offset's time.
  EXPECT_FALSE(MeterExpectation(*records::RowOfBox("txtBrdOffTime")));
  EXPECT_EQ(LabelOf("txtNothing"), "txtNothing");
  // Residuals: each reading against its reference; the stack against the top capacitor.
  const auto readings = records::Json::parse(R"({"capacitors_mV": [2051, 4160, 6239, 0, 0, 6241],
      "system_mV": null, "temperature_C": 25.3, "current_mA": -499})");
  const std::vector<records::Reference> refs = {
      {"Capacitor 1", "2050", {}},         {"Capacitor 1 + 2", "4160", {}},
      {"Capacitor 1 + 2 + 3", "6240", {}}, {"actual system voltage", "12255", {}},
      {"actual temperature", "25", {}},    {"actual current", "-500", {}}};
  EXPECT_EQ(Residuals(refs, readings), records::Json::parse(R"({"Capacitor 1": 1,
      "Capacitor 1 + 2": 0, "Capacitor 1 + 2 + 3": -1, "Stack Voltage": 1, "System voltage": null,
      "Temperature": 0.3, "Current": 1})"));
  // Every row usable, the stack's too, is no count the page supports.
  for (int k = 0; k < 6; ++k)
    f().At("txtVoltage", k).SetEnabled(true);
  EXPECT_FALSE(ConfiguredCount(f()));
}

// A device that cannot be opened never takes the place of the one that is: the run, the name
// and the record stay with the device that was open.
TEST_F(StationTest, AFailedSwitchKeepsTheDeviceThatWasOpen) {
  Open(sim::MiscalibratedState(5));
  auto before = station.device().bus();
  std::string error;
  EXPECT_FALSE(station.device().Open({false, "", "/dev/i2c-77", 0x0B, false}, error));
  EXPECT_NE(error.find("/dev/i2c-77"), std::string::npos);
  EXPECT_EQ(station.device().bus(), before);
  EXPECT_EQ(station.device().Name(), "simulator " + state);
  f().Type("txtTemperature", "25");
  Tick("chkTempCal");
  RunResult r = station.Run(*RunNamed("calibrate"));
  EXPECT_TRUE(r.outcome.done);
  EXPECT_EQ(r.record.device, "simulator " + state);
  // While a run of this program holds the device, it is not switched under it.
  auto hold = station.device().Lock(std::chrono::milliseconds(0), error);
  ASSERT_TRUE(hold);
  EXPECT_TRUE(station.device().Lock(std::chrono::milliseconds(0), error));  // runs share the hold
  EXPECT_FALSE(station.device().Open({true, "", "", 0x0B, false}, error));
  EXPECT_EQ(station.device().bus(), before);
  // Another program (another lock on the file) waits for it.
  auto other = BusLock::Acquire(BusLock::LockFileFor(state), std::chrono::milliseconds(0), error);
  EXPECT_FALSE(other);
  EXPECT_NE(error.find("is in use by"), std::string::npos);
  // ... also one that reaches the state file through a link.
  const std::string link = dir.path() + "/link.json";
  std::filesystem::create_symlink(state, link);
  EXPECT_FALSE(BusLock::Acquire(BusLock::LockFileFor(link), std::chrono::milliseconds(0), error));
  // While another program holds it, a run does not start, and says who holds it.
  hold.reset();
  auto theirs = BusLock::Acquire(BusLock::LockFileFor(state), std::chrono::milliseconds(0), error);
  ASSERT_TRUE(theirs) << error;
  station.bus_wait = std::chrono::milliseconds(0);
  r = station.PageRun(*RunNamed("calibrate"));
  EXPECT_FALSE(r.outcome.started);
  EXPECT_NE(r.outcome.reasons.at(0).find("is in use by"), std::string::npos);
}

TEST_F(StationTest, RestoreWritesBackOnlyWhatDiffersAndVerifies) {
  Open(sim::MiscalibratedState(5));
  const auto original = dev().state().dataflash;
  f().Type("txtActualSystemVoltage", "12255");
  Tick("chkSystemVoltage");
  RunResult r = station.Run(*RunNamed("calibrate"));
  ASSERT_TRUE(r.outcome.done);
  ASSERT_NE(dev().state().dataflash, original);
  RestorePlan plan = PlanRestore(r.record);
  ASSERT_TRUE(plan.refused.empty());
  // The device is the one the record left; a data flash that cannot be read is no such proof.
  EXPECT_TRUE(DeviceDifferences(station, r.record, "").empty());
  dev().AddFault({0, 0x78, "ReadSMBusBlock_", kStatusNack, 0, 0});
  EXPECT_EQ(DeviceDifferences(station, r.record, ""),
            std::vector<std::string>{"the device's data flash cannot be read"});
  dev().ClearFaults();
  RestoreResult back = Restore(station, plan);
  EXPECT_TRUE(back.verified);
  EXPECT_EQ(back.written, std::vector<int>{104});  // 64 was unchanged
  EXPECT_EQ(dev().state().dataflash, original);
  EXPECT_EQ(back.run.record.run, "restore");
  EXPECT_EQ(back.run.record.extra["restored_record"], r.record.id);
  // Two series capacitors are the smallest stack a record can hold; one is none.
  for (int bits : {1, 0}) {
    records::RunRecord two = r.record;
    for (auto* side : {&two.before, &two.after})
      for (auto& img : *side)
        img.bytes[0] = img.subclass == 64 ? static_cast<std::uint8_t>(bits) : img.bytes[0];
    EXPECT_EQ(PlanRestore(two).refused.empty(), bits == 1) << PlanRestore(two).refused;
  }
  records::RunRecord empty = r.record;
  empty.before.clear();
  EXPECT_NE(PlanRestore(empty).refused.find("holds no data flash image"), std::string::npos);
  // A restore stopped before it began wrote nothing and verified nothing.
  platform.interrupt.Request();
  RestoreResult stopped = Restore(station, plan);
  EXPECT_TRUE(stopped.written.empty() && !stopped.verified);
}

// Refusals come before the device is touched; what the user goes on past is recorded; the
// outcome is shown once, the state saved.
TEST_F(StationTest, APageRunAsksRefusesAndRecords) {
  Open(sim::MiscalibratedState(5));
  const RunKind& calibrate = *RunNamed("calibrate");
  station.info.unit = "SN\x1b[2J";
  GiveSystemVoltage("12255");
  dev().ClearLog();
  RunResult r = station.PageRun(calibrate);
  EXPECT_FALSE(r.outcome.started);
  EXPECT_NE(r.outcome.reasons.at(0).find("the unit label holds a control character"),
            std::string::npos);
  station.info.unit = "U1";
  station.limits = Limits{"l.json", {{"Current", 1}}};
  EXPECT_NE(station.PageRun(calibrate).outcome.reasons.at(0).find(
                "l.json checks none of the readings this run calibrates (System voltage)"),
            std::string::npos);
  station.limits.reset();
  EXPECT_TRUE(ui.asked.empty());
  EXPECT_TRUE(dev().log().empty());

  // The page's example value nobody gave, put to the user: Cancel sends nothing.
  f().At("chkVoltageCal").SetValue(1);
  r = station.PageRun(calibrate);
  ASSERT_EQ(ui.asked.size(), 1u);
  EXPECT_EQ(ui.asked[0].first, Question::kObjections);
  EXPECT_EQ(ui.asked[0].second.at(0), "Capacitor 1 holds 2100, which nobody gave for this unit");
  EXPECT_EQ(r.outcome.reasons, ui.asked[0].second);
  EXPECT_FALSE(Writes(dev()));
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(ui.runs, 0);

  // OK goes on: the run is recorded with what was gone past, shown, and the state saved.
  ui.answers = {true};
  r = station.PageRun(calibrate);
  EXPECT_EQ(r.outcome.verdict, "done");
  EXPECT_EQ(ui.runs, 1);
  ASSERT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Stored()[0].extra["references trusted"].size(), 5u);
  EXPECT_EQ(ui.shown.back().record, Stored()[0].id);
  EXPECT_EQ(sim::LoadStateFile(state).dataflash, dev().state().dataflash);

  // A run the page refuses itself calibrated nothing: refused, no residuals.
  f().At("chkVoltageCal").SetValue(0);
  GiveSystemVoltage("1999");
  ui.answers = {true};
  r = station.PageRun(calibrate);
  EXPECT_EQ(r.outcome.verdict, "refused");
  EXPECT_TRUE(r.outcome.started);
  EXPECT_TRUE(r.record.residuals.is_null());
  EXPECT_EQ(Stored().back().outcome, "refused");
}

// A record of another unit is restored only after the user has seen each difference; the
// restore is the connected unit's, and says what it was forced past.
TEST_F(StationTest, ARestoreOntoAnotherUnitIsTheUsersChoice) {
  Open(sim::MiscalibratedState(5));
  GiveSystemVoltage("12255");
  const RunResult run = station.PageRun(*RunNamed("calibrate"));
  ASSERT_TRUE(run.outcome.done);
  const auto calibrated = dev().state().dataflash;
  const std::string id = std::to_string(run.record.id);
  station.info.unit = "U2";
  RunResult r = station.RestoreRecord(id);
  ASSERT_EQ(ui.asked.size(), 1u);
  EXPECT_EQ(ui.asked[0].first, Question::kDifferences);
  EXPECT_EQ(ui.asked[0].second, std::vector<std::string>{"the record is of unit U1, not U2"});
  EXPECT_FALSE(r.outcome.started);
  EXPECT_EQ(dev().state().dataflash, calibrated);

  ui.answers = {true, false};  // goes on past the difference, then Cancel at the last question
  r = station.RestoreRecord(id);
  EXPECT_EQ(ui.asked.back().first, Question::kConfirm);
  EXPECT_FALSE(r.outcome.started);
  EXPECT_EQ(dev().state().dataflash, calibrated);

  ui.answers = {true, true};
  r = station.RestoreRecord(id);
  EXPECT_EQ(r.outcome.verdict, "done");
  EXPECT_EQ(r.outcome.said.rfind("Restored and verified", 0), 0u);
  EXPECT_NE(dev().state().dataflash, calibrated);
  EXPECT_EQ(sim::LoadStateFile(state).dataflash, dev().state().dataflash);
  const records::RunRecord restore = Stored().back();
  EXPECT_EQ(restore.unit, "U2");
  EXPECT_EQ(restore.extra["forced"], Json::array({"the record is of unit U1, not U2"}));

  EXPECT_FALSE(station.RestoreRecord("999").outcome.started);
  EXPECT_EQ(ui.shown.back().reasons, std::vector<std::string>{"there is no record 999"});
}

// A device another program left in calibration mode is named as such when the page is shown.
TEST_F(StationTest, ADeviceLeftInCalibrationModeIsSaidSo) {
  Open(sim::MiscalibratedState(5));
  EXPECT_TRUE(ui.warned.empty());
  ASSERT_EQ(station.device().direct().WriteSMBusWord(0x00, 0x00, 0x40, 0x16), 0);  // the entry
  station.Show();
  ASSERT_EQ(ui.warned.size(), 1u);
  EXPECT_EQ(ui.warned[0].rfind("the device is in calibration mode", 0), 0u);
}

TEST(Outcome, OneDescriptionInEveryHostsWords) {
  Outcome o;
  o.run = "Calibration";
  o.verdict = "out of limits";
  o.done = true;
  o.beyond_limits = {"System voltage 1 (at most 0)", "Current -3 (at most 2)"};
  EXPECT_EQ(o.Sentence(),
            "Calibration done. The unit is outside its limits: System voltage 1 (at most 0); "
            "Current -3 (at most 2).");
  o = {};
  o.run = "Calibration";
  o.took_effect = {"System voltage gain 20500 -> 20001"};
  o.record = 7;
  o.unstored = "/tmp/u.json";
  EXPECT_EQ(o.Sentence("restore {} undoes it."),
            "Calibration not done. It changed the device all the same: System voltage gain "
            "20500 -> 20001. restore 7 undoes it.");
  EXPECT_EQ(o.ToJson()["unstored"], "/tmp/u.json");
  EXPECT_EQ(o.ToJson()["took_effect"].size(), 1u);
}

}  // namespace vx::testing
