// The command line as a production line uses it: whole processes, exit codes, output.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "platform/virtual_platform.h"
#include "sim/sim_device.h"
#include "sim/sim_state.h"
#include "test_files.h"

namespace vx::testing {

namespace {

struct Result {
  int code = -1;
  std::string out;
};

Result RunCli(const std::string& args, const std::string& env = "") {
  std::string cmd = env + " " + VX_CLI_PATH + " " + args + " 2>&1";
  Result r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf{};
  std::size_t n = 0;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
    r.out.append(buf.data(), n);
  int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '{') lines.push_back(nlohmann::json::parse(line));
  }
  return lines;
}

// What a device in this state reads now, in the page's terms.
struct Readings {
  std::vector<int> taps;
  int system, current;
  double temperature;
};
Readings ReadDevice(const std::string& state_file) {
  VirtualPlatform p;
  sim::SimDevice d(p, sim::LoadStateFile(state_file));
  Readings r;
  for (int k = 0; k < 5; ++k)
    r.taps.push_back(d.TapReading(k));
  r.system = d.SystemReading();
  r.current = d.CurrentReading();
  r.temperature = (d.TemperatureWord() - 2732) * 0.1;
  return r;
}

}  // namespace

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimState s = sim::MiscalibratedState(5);
    s.busy_ms = {200, 200, 200, 200, 200};
    state = dir.path() + "/mis.json";
    sim::SaveStateFile(s, state);
  }
  std::string TruthArgs() {
    return "--voltages 2050,4160,6240,8360,10455 --system-voltage 12255 --temperature 25 "
           "--current -500";
  }
  TempDir dir;
  std::string state;
};

TEST_F(Cli, ErrTextAndUsageErrors) {
  auto r = RunCli("errtext 772");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "No Acknowledge: VB_T2H_NACK\n");
  EXPECT_EQ(RunCli("errtext -1").out, "Error Code (decimal) -1\n");
  EXPECT_EQ(RunCli("errtext x").code, 2);
  EXPECT_EQ(RunCli("nonsense").code, 2);
  EXPECT_EQ(RunCli("board-offset --hardware --software").code, 2);
  EXPECT_EQ(RunCli("--sim " + dir.path() + "/missing.json read").code, 3);
  auto bus = RunCli("--bus /dev/i2c-77 read");
  EXPECT_EQ(bus.code, 4);
  EXPECT_NE(bus.out.find("does not exist"), std::string::npos);
}

TEST_F(Cli, ReadAsJsonGivesTheScan) {
  auto r = RunCli("--json --fast read --ticks 2");
  ASSERT_EQ(r.code, 0) << r.out;
  auto lines = JsonLines(r.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["capacitors_mV"][0], 2050);
  EXPECT_EQ(lines[0]["capacitors_mV"][4], 10455);
  EXPECT_EQ(lines[0]["temperature_C"], 25);
  EXPECT_EQ(lines[0]["current_mA"], -500);
}

TEST_F(Cli, CalibrateMakesAMiscalibratedDeviceReadTrue) {
  std::string after = dir.path() + "/after.json", trace = dir.path() + "/trace.jsonl";
  auto r = RunCli("--json --fast --sim " + state + " --save-state " + after + " --trace " + trace +
                  " calibrate --verify " + TruthArgs());
  ASSERT_EQ(r.code, 0) << r.out;
  auto lines = JsonLines(r.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back()["done"], true);
  auto verify = lines[lines.size() - 2]["verify"];
  for (auto& [name, residual] : verify.items()) {
    EXPECT_LE(std::abs(residual.get<double>()), 1.0) << name;
  }
  Readings d = ReadDevice(after);
  const int taps[5] = {2050, 4160, 6240, 8360, 10455};
  for (int k = 0; k < 5; ++k)
    EXPECT_NEAR(d.taps[static_cast<std::size_t>(k)], taps[k], 1);
  EXPECT_NEAR(d.system, 12255, 1);
  EXPECT_NEAR(d.current, -500, 1);
  EXPECT_NEAR(d.temperature, 25.0, 0.1);

  // The trace lists the transfers in order: the count read first, the FET-off command last.
  std::ifstream in(trace);
  std::vector<nlohmann::json> t;
  std::string line;
  while (std::getline(in, line))
    t.push_back(nlohmann::json::parse(line));
  ASSERT_GT(t.size(), 50u);
  for (std::size_t i = 0; i < t.size(); ++i)
    EXPECT_EQ(t[i]["seq"], i + 1);
  EXPECT_EQ(t[0]["cmd"], 0x77);
  EXPECT_EQ(t[0]["bytes"], (std::vector<int>{0, 64}));
  int last_fet = -1, last_exit = -1;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i].value("cmd", -1) == 0x46) last_fet = static_cast<int>(i);
    if (t[i].value("cmd", -1) == 0x73) last_exit = static_cast<int>(i);
  }
  EXPECT_GT(last_fet, last_exit);
  EXPECT_GT(last_exit, 0);
}

TEST_F(Cli, BadEntriesAreThePagesOwnMessagesAndFailTheRun) {
  auto r = RunCli("--fast --sim " + state + " calibrate --system-voltage 1999");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("[vx58420Cal] Actual system voltage entered appears low."),
            std::string::npos)
      << r.out;
  r = RunCli("--fast calibrate --current abc");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("[Calibration] Invalid value entered! Error description:"),
            std::string::npos)
      << r.out;
  r = RunCli("--fast calibrate");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("[Supercap Calibration] Please check desired calibrations.  Nothing to do!"),
            std::string::npos);
  r = RunCli("--fast calibrate --voltages 123456");
  EXPECT_EQ(r.code, 2);  // longer than the page's box takes
}

TEST_F(Cli, ConfirmationsNeedYes) {
  auto r = RunCli("--fast --sim " + state + " pack-voltage");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("-> Cancel"), std::string::npos) << r.out;
  r = RunCli("--fast --sim " + state + " pack-voltage --yes");
  EXPECT_EQ(r.code, 0) << r.out;
  r = RunCli("--fast --sim " + state + " board-offset --software --seconds 1 --yes");
  EXPECT_EQ(r.code, 0) << r.out;
  r = RunCli("--fast --sim " + state + " board-offset --software --seconds 0 --yes");
  EXPECT_EQ(r.code, 1) << r.out;
  r = RunCli("--fast --sim " + state + " board-offset --hardware --yes");
  EXPECT_EQ(r.code, 0) << r.out;
}

TEST_F(Cli, CapacitorsAndSystemVoltage) {
  std::string three = dir.path() + "/three.json";
  sim::SaveStateFile(sim::DefaultState(3), three);
  auto r = RunCli("--json --sim " + three + " capacitors");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(JsonLines(r.out).back()["count"], 3);
  std::string one = dir.path() + "/one.json";
  sim::SaveStateFile(sim::DefaultState(1), one);
  EXPECT_EQ(RunCli("--sim " + one + " capacitors").code, 1);
  r = RunCli("--json --fast --sim " + state + " system-voltage --actual 12255");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(JsonLines(r.out).back()["done"], true);
}

TEST_F(Cli, ScriptDrivesThePageAndAnswersMessageBoxes) {
  std::string script = dir.Write("s.jsonl",
                                 "{\"action\":\"scan\"}\n"
                                 "{\"action\":\"tick\",\"control\":\"chkSystemVoltage\"}\n"
                                 "{\"action\":\"type\",\"control\":\"txtActualSystemVoltage\","
                                 "\"text\":\"1999\"}\n"
                                 "{\"action\":\"click\",\"control\":\"btnCalibrate\"}\n"
                                 "{\"action\":\"call\",\"method\":\"PrintProperties\"}\n"
                                 "{\"action\":\"click\",\"control\":\"btnCalPackVolt\"}\n"
                                 "{\"action\":\"snapshot\"}\n");
  auto r = RunCli("--json --fast script " + script);
  EXPECT_EQ(r.code, 1) << r.out;  // the hidden pack voltage button refused the click
  auto lines = JsonLines(r.out);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0]["message"],
            "Actual system voltage entered appears low. Please check this value and retry "
            "calibration.");
  EXPECT_EQ(lines[1]["message"], "Target Address is: 22");
  EXPECT_EQ(lines[3]["call"], "PrintProperties");
  EXPECT_EQ(lines[4]["line"], 6);
  EXPECT_EQ(lines[5]["snapshot"]["txtActualSystemVoltage"]["text"], "1999");
  EXPECT_EQ(lines[5]["snapshot"]["btnCalibrate"]["enabled"], true);
  // Bytes that are not UTF-8 come back as valid JSON (they once ended the program).
  auto garbage = RunCli("--json --fast script " + dir.Write("garbage.jsonl", "\xA9\xFF\n"));
  EXPECT_EQ(garbage.code, 2);
  ASSERT_EQ(JsonLines(garbage.out).size(), 1u);
  EXPECT_EQ(JsonLines(garbage.out)[0]["line"], 1);
  std::string bad = dir.Write("bad.jsonl", "{\"action\":\"fly\"}\n");
  EXPECT_EQ(RunCli("--fast script " + bad).code, 2);
  EXPECT_EQ(RunCli("--fast script " + dir.path() + "/none.jsonl").code, 3);
}

#ifndef VX_SANITIZED
TEST_F(Cli, CalibrateThroughTheI2cDevPath) {
  std::string after = dir.path() + "/bus-after.json";
  std::string env = "FAKE_I2C_NODE=/dev/i2c-9 FAKE_I2C_VIRTUAL_TIME=1 FAKE_I2C_STATE=" + state +
                    " FAKE_I2C_SAVE=" + after + " LD_PRELOAD=" + VX_PRELOAD_PATH;
  auto r = RunCli("--bus 9 --pec calibrate " + TruthArgs(), env);
  ASSERT_EQ(r.code, 0) << r.out;
  Readings d = ReadDevice(after);
  EXPECT_NEAR(d.taps[4], 10455, 1);
  EXPECT_NEAR(d.system, 12255, 1);
  EXPECT_NEAR(d.current, -500, 1);
  EXPECT_NEAR(d.temperature, 25.0, 0.1);
}
#endif

}  // namespace vx::testing
