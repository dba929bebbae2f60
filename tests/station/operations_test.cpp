// The station's operations with a scripted UI in front: what they ask, what they refuse before
// the device is touched, what they record, and the outcome they show.
#include <gtest/gtest.h>

#include <deque>

#include "control/cal.h"
#include "control/module.h"
#include "hosts/station/station.h"
#include "platform/console_platform.h"
#include "records/store.h"
#include "sim/sim_device.h"
#include "test_files.h"

namespace vx::testing {

namespace {

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

bool Writes(const sim::SimDevice& d) {
  for (const auto& t : d.log()) {
    if (IsWrite(t.method) && t.cmd != 0x77) return true;
  }
  return false;
}

}  // namespace

class Operations : public ::testing::Test {
 protected:
  Operations() {
    ResetThisThreadModule();
    dir.Write("Config.ini", "");
    station.info.records = dir.path() + "/records.sqlite";
    station.info.unit = "U1";
    station.properties = {0x16, "800.1.02", dir.path(), std::nullopt};
    sim::SaveStateFile(sim::MiscalibratedState(5), state);
    std::string error;
    EXPECT_TRUE(station.device().Open({true, state, "", 0x0B, false}, error)) << error;
    station.state_file = state;
    cal.reset(new Cal());
    station.control().Adopt(cal.get());
    station.Show();
  }
  ~Operations() override {
    station.control().Adopt(nullptr);
    ResetThisThreadModule();
  }
  FormModel& f() { return station.control().form(); }
  sim::SimDevice& dev() { return *station.device().simulator(); }
  // The system voltage typed and given for this unit, and ticked.
  void GiveSystemVoltage(const char* mv) {
    f().Type("txtActualSystemVoltage", mv);
    station.NoteGiven("txtActualSystemVoltage", mv);
    f().At("chkSystemVoltage").SetValue(1);
  }
  std::vector<records::RunRecord> Stored() {
    return records::OpenStore(station.info.store())->List({});
  }

  struct Release {
    void operator()(Cal* c) const { c->Release(); }
  };
  TempDir dir;
  std::string state = dir.path() + "/state.json";
  ConsolePlatform platform{true};
  ScriptedUi ui;
  Station station{platform, platform.interrupt, &ui};
  std::unique_ptr<Cal, Release> cal;
};

// Refusals come before the device is touched; what the user goes on past is recorded; the
// outcome is shown once, the state saved.
TEST_F(Operations, APageRunAsksRefusesAndRecords) {
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
TEST_F(Operations, ARestoreOntoAnotherUnitIsTheUsersChoice) {
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
TEST_F(Operations, ADeviceLeftInCalibrationModeIsSaidSo) {
  station.Show();
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
