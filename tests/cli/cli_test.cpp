// The command line as a production line uses it: whole processes, exit codes, output, files.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <csignal>
#include <set>
#include <sstream>

#include "platform/virtual_platform.h"
#include "process.h"
#include "sim/sim_device.h"
#include "sim_folder.h"

namespace vx::testing {

namespace {

// What a device in this state reads now: capacitor 5, system voltage, current, temperature.
std::array<double, 4> ReadDevice(const std::string& state_file) {
  VirtualPlatform p;
  sim::SimDevice d(p, sim::LoadStateFile(state_file));
  return {static_cast<double>(d.TapReading(4)), static_cast<double>(d.SystemReading()),
          static_cast<double>(d.CurrentReading()), (d.TemperatureWord() - 2732) * 0.1};
}

constexpr const char* kTruth =
    "--voltages 2050,4160,6240,8360,10455 --system-voltage 12255 --temperature 25 --current -500";

}  // namespace

class Cli : public ::testing::Test, protected SimFolder {
 protected:
  Result Run(const std::string& args, const std::string& env = "") {
    return Process(dir.path(), args, env).Wait();
  }
};

TEST_F(Cli, CalibrateMakesAMiscalibratedDeviceReadTrue) {
  auto r = Run("--json --fast --sim " + state + " --save-state " + Path("after.json") +
               " --trace " + Path("trace.jsonl") + " calibrate --verify " + kTruth);
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  auto lines = r.Json();
  EXPECT_EQ(lines.back()["done"], true);
  auto verify = lines[lines.size() - 2]["verify"];
  EXPECT_EQ(verify.size(), 9u);  // five capacitors, the stack, system, temperature, current
  for (auto& [name, residual] : verify.items())
    EXPECT_LE(std::abs(residual.get<double>()), 1.0) << name;
  EXPECT_TRUE(verify["Stack Voltage"].is_number_integer());  // 0, not 0.0
  auto [tap5, system, current, temperature] = ReadDevice(Path("after.json"));
  EXPECT_NEAR(tap5, 10455, 1);
  EXPECT_NEAR(system, 12255, 1);
  EXPECT_NEAR(current, -500, 1);
  EXPECT_NEAR(temperature, 25.0, 0.1);
  auto trace = JsonLines(Path("trace.jsonl"));
  ASSERT_GT(trace.size(), 50u);
  EXPECT_EQ(trace.back()["seq"], trace.size());
  EXPECT_EQ(trace.back()["method"], "ReadSMBusWord");  // the scan of --verify
  // A log of the progress gets a line when the step changes, not one for each transfer.
  std::istringstream log(r.err);
  std::set<std::string> steps;
  int n = 0;
  for (std::string line; std::getline(log, line); ++n)
    steps.insert(line.substr(line.find(" s  ") + 4));
  EXPECT_EQ(steps.size(), static_cast<std::size_t>(n));
  EXPECT_TRUE(steps.count("Calibrate device 15 %: the device is calibrating")) << r.err;
}

// Nothing is calibrated against a value nobody gave; refusals come before any transfer.
TEST_F(Cli, RefusalsNameTheProblemAndSendNothing) {
  struct Case {
    std::string args, says;
  };
  for (const Case& c : std::vector<Case>{
           {"calibrate --voltages 2050", "configured for 5 series capacitors: --voltages takes 5"},
           {"calibrate --current abc", "--current: \"abc\" for actual current is not a number"},
           {"calibrate --voltages 2050,4160,6240,8360,104550", "at most 5 characters"},
           {"system-voltage", "system-voltage needs --actual"},
           {"board-offset --software --seconds 0 --yes", "1 to 99 seconds"},
           {"calibarte", "unknown command 'calibarte'"},
           {"--config-dir /nonexistent config", "/nonexistent does not exist"},
           {"bus read-word", "read-word needs a command code"},
           {"bus write-block 0x78 300", "outside 0 to 255"}}) {
    EXPECT_TRUE(Ended(Run("--fast --sim " + state + " --trace " + Path("t.jsonl") + " " + c.args),
                      2, c.says));
    EXPECT_TRUE(WritesNothing(Path("t.jsonl"))) << c.args;
  }
  auto three = Run("--fast --sim " + Save("three.json", sim::DefaultState(3)) +
                   " calibrate --voltages 2050,4160,6240");
  EXPECT_EQ(three.code, 0) << three.out << three.err;
  EXPECT_TRUE(Run("--version").Says("vx58420cal 0.0.2"));
}

TEST_F(Cli, ExitCodesTellTheTruth) {
  auto dead = Run("--fast --address 0x0C read");  // nobody answers there
  EXPECT_TRUE(Ended(dead, 4, "does not answer"));
  sim::SimState s = sim::DefaultState(5);
  s.faults = {{0, 0x5A, "", 772, 0, 0}};  // the system voltage read fails
  std::string failing = Save("failing.json", s);
  auto read = Run("--fast --sim " + failing + " read");
  EXPECT_TRUE(Ended(read, 1, "Err_Rd"));
  s.faults = {{0, 0x78, "ReadSMBusBlock_", 772, 0, 0}};  // the data flash read fails
  auto sysv = Run("--fast --sim " + Save("df.json", s) + " system-voltage --actual 12255");
  EXPECT_TRUE(Ended(sysv, 1, "System voltage calibration not done"));
  EXPECT_FALSE(sysv.Says(" done:"));
  EXPECT_TRUE(sysv.Says("CalSystemVoltage returned ")) << sysv.out;
  auto count = Run("--json --fast --sim " + Path("df.json") + " capacitors");
  EXPECT_EQ(count.code, 1);  // the page's fallback of 5 is no count of the device
  ASSERT_FALSE(count.Json().empty()) << count.out;
  EXPECT_TRUE(count.Json().back()["count"].is_null()) << count.out;
  sysv = Run("--fast --sim " + state + " system-voltage --actual 12255");
  EXPECT_EQ(sysv.code, 0) << sysv.err;
  EXPECT_FALSE(sysv.Says("returned")) << sysv.out;
  auto pack = Run("--fast --sim " + state + " pack-voltage");
  EXPECT_TRUE(Ended(pack, 1, "--yes answers it"));
  EXPECT_TRUE(pack.Says("Pack voltage calibration not done."));
  auto board = Run("--json --fast --sim " + state +
                   " board-offset --software --seconds 1 --overwrite-stack-gain --yes");
  EXPECT_EQ(board.code, 0);
  EXPECT_EQ(board.Json().back()["done"], true);
  // An engine status gets its plain meaning, also on its own.
  auto cold = Run("errtext 5003");
  EXPECT_TRUE(cold.Says("Error Code (decimal) 5003\n  (the actual temperature was not above 0"))
      << cold.out;
}

TEST_F(Cli, OutputIsJsonLinesOnlyWithJson) {
  auto err = Run("--json errtext 772");
  ASSERT_EQ(err.Json().size(), 1u);
  EXPECT_EQ(err.Json()[0]["text"], "No Acknowledge: VB_T2H_NACK");
  std::string script =
      dir.Write("s.jsonl",
                "{\"action\":\"scan\"}\n"
                "{\"action\":\"tick\",\"control\":\"chkSystemVoltage\",\"value\":1}\n"
                "{\"action\":\"type\",\"control\":\"txtActualSystemVoltage\","
                "\"text\":\"1999\"}\n"
                "{\"action\":\"click\",\"control\":\"btnCalibrate\"}\n"
                "{\"action\":\"call\",\"method\":\"ReadNumberofConfiguredCapacitors\"}\n"
                "{\"action\":\"click\",\"control\":\"btnCalPackVolt\"}\n"
                "{\"action\":\"type\",\"control\":\"txtNothing\",\"text\":\"1\"}\n");
  // JSON lines without --json; the page's own check, not the host's, refuses 1999 mV here.
  auto r = Run("--fast --max-correction 100 script " + script);
  EXPECT_EQ(r.code, 1);
  auto lines = r.Json();
  ASSERT_EQ(lines.size(), 5u) << r.out;
  EXPECT_EQ(lines[0]["message"],
            "Actual system voltage entered appears low. Please check this value and retry "
            "calibration.");
  EXPECT_EQ(lines[1]["count"], 5);
  EXPECT_EQ(lines[2]["why"], "hidden");
  EXPECT_EQ(lines[3]["why"], "unknown control");
  EXPECT_EQ(lines[4]["runs"][0]["outcome"], "refused");  // how each run ended, and the exit
  EXPECT_EQ(lines[4]["exit"], 1);
  std::string bad = dir.Write("bad.jsonl", "\xA9\xFF\n");  // not UTF-8, still valid JSON out
  EXPECT_EQ(Run("--fast script " + bad).code, 2);
  EXPECT_EQ(Run("--fast script " + Path("none.jsonl")).code, 3);
}

TEST_F(Cli, BusSequencesRunInOrderAtOneAddress) {
  auto r = Run(
      "--json --sim " + state + " --save-state " + state +
      " bus --yes write-word 0x77 104 read-block 0x78 write-word 0x77 104 write-block 0x78 1 2");
  ASSERT_EQ(r.code, 0) << r.err;
  auto lines = r.Json();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0]["answer"], "ok");    // a data flash write is asked about first
  EXPECT_EQ(lines[2]["bytes"][8], 0x28);  // capacitor 1's gain 10300, high byte
  auto block = sim::LoadStateFile(state).dataflash.at(104);
  EXPECT_EQ(block[0], 1);
  EXPECT_EQ(block[8], 0x28);  // bytes beyond the two written stay
  // Without --yes and nobody to ask: nothing is sent.
  EXPECT_TRUE(Ended(Run("--sim " + state + " --save-state " + state + " --trace " +
                        Path("t.jsonl") + " bus write-word 0x77 104 write-block 0x78 9 9"),
                    1, "nothing was sent"));
  EXPECT_EQ(sim::LoadStateFile(state).dataflash.at(104), block);
  auto fail = Run("--json --fast bus read-block 0x78 read-word 0x09");
  EXPECT_EQ(fail.code, 1);  // no subclass selected: the sequence stops there
  EXPECT_EQ(fail.Json().size(), 1u);
}

// A real signal to a real-time run in calibration mode (every transfer is swept in virtual
// time apart): the wait in progress completes, the device leaves calibration mode with its
// FETs off, a second signal is noted without cutting the clean-up short, exit 130.
TEST_F(Cli, ASignalInCalibrationModeLeavesTheDeviceSafe) {
  std::string trace = Path("trace.jsonl"), after = Path("after.json");
  Process run(dir.path(), "--sim " + state + " --save-state " + after + " --trace " + trace +
                              " calibrate --current -500");
  ASSERT_TRUE(WaitForLine(trace, "\"cmd\":0,\"bytes\":[0,64]"));  // calibration mode entered
  kill(run.pid(), SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(run.pid(), SIGTERM);
  Result r = run.Wait();
  EXPECT_TRUE(Ended(r, 130, "interrupted by SIGINT"));
  EXPECT_TRUE(r.Says("further signal")) << r.err;
  const auto t = JsonLines(trace);
  auto last = std::find_if(t.rbegin(), t.rend(), [](const auto& x) {
    return x["method"].template get<std::string>().rfind("Write", 0) == 0 && x["cmd"] != 0x77;
  });
  ASSERT_NE(last, t.rend());
  EXPECT_EQ((*last)["cmd"], 0x46);  // the last write: the FETs off
  EXPECT_TRUE(
      std::any_of(t.begin(), t.end(), [](const auto& x) { return x.value("cmd", -1) == 0x73; }));
  EXPECT_FALSE(sim::LoadStateFile(after).fets_on);
}

// Each sensor asked for is one bit of the temperature calibration's word to the device: each
// on its own differs from the others, and all three together are their union.
TEST_F(Cli, TheSensorsGivenAreTheOnesCalibrated) {
  auto word = [&](const std::string& sensors) {
    const std::string trace = Path("sensors-" + sensors + ".jsonl");
    EXPECT_EQ(Run("--fast --records none --trace " + trace +
                  " calibrate --temperature 25 --sensors " + sensors)
                  .code,
              0);
    for (const auto& x : JsonLines(trace)) {
      if (x["method"] == "WriteSMBusWord" && x["cmd"] == 0x51) return x["bytes"][1].get<int>();
    }
    return -1;
  };
  const int in = word("int"), e1 = word("ext1"), e2 = word("ext2");
  EXPECT_TRUE(in > 0 && e1 > 0 && e2 > 0 && in != e1 && e1 != e2 && in != e2);
  EXPECT_EQ(word("int,ext1,ext2"), in | e1 | e2);
}

#ifndef VX_SANITIZED
TEST_F(Cli, CalibrateThroughTheI2cDevPath) {
  // A calibration that reads and writes the data flash, in real time (a wait of 120 ms).
  std::string env = "FAKE_I2C_NODE=/dev/i2c-9 FAKE_I2C_STATE=" + state +
                    " FAKE_I2C_SAVE=" + Path("bus-after.json") + " LD_PRELOAD=" + VX_PRELOAD_PATH;
  auto r = Run("--bus 9 --pec --wait-bus 0 system-voltage --actual 12255", env);
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NEAR(ReadDevice(Path("bus-after.json"))[1], 12255, 1);
}
#endif

}  // namespace vx::testing
