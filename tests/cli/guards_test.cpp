// What the command line checks before a value reaches the page, and what it says after a run:
// each refusal leaves the device untouched (reads only in the trace, the state file as it was).
#include <gtest/gtest.h>

#include "process.h"
#include "sim_folder.h"

namespace vx::testing {

class Guards : public ::testing::Test, protected SimFolder {
 protected:
  // The command, refused with exit `code` before anything was written to the device.
  void Refused(const std::string& args, int code, const std::string& says) {
    const auto before = ReadFile(state);
    EXPECT_TRUE(Ended(Process(dir.path(), "--fast --sim " + state + " --save-state " + state +
                                              " --trace " + Path("t.jsonl") + " " + args)
                          .Wait(),
                      code, says));
    EXPECT_TRUE(WritesNothing(Path("t.jsonl"))) << args;
    EXPECT_EQ(ReadFile(state), before) << args;
  }
  Result Run(const std::string& args) {
    return Process(dir.path(), "--fast --sim " + state + " --save-state " + state + " " + args)
        .Wait();
  }
};

// The miscalibrated device reads Capacitor 1 2112 mV, the system 12561 mV, 22.7 degrees C and
// -519 mA: references far from those are refused with the reading and what fits.
TEST_F(Guards, ImplausibleReferencesNeverReachThePage) {
  struct Case {
    std::string args, says;
  };
  const auto share = [&](const std::string& pct) {  // the page's Config.ini sets the share
    const std::string ini = dir.Write(pct + "/Config.ini", "[Host]\nMaxCorrectionPct=" + pct);
    return "--config-dir " + std::filesystem::path(ini).parent_path().string();
  };
  for (const Case& c : std::vector<Case>{
           {"calibrate --voltages 1e3,4160,6240,8360,10455",
            "Capacitor 1 1e3 mV against the reading 2112 mV is a correction of more than 10 %; "
            "1901 to 2323 mV fit"},
           {"calibrate --system-voltage 6000", "against the reading 12561 mV"},
           {"calibrate --temperature 45",
            "actual temperature 45 deg C against the reading 22.7 deg C is a correction of more "
            "than 12.7 degrees C; 10 to 35.4 deg C fit"},
           {"calibrate --temperature 0", "is not above 0 degrees C"},
           {"calibrate --temperature 0.5",
            "0.5 deg C against the reading 22.7 deg C is a correction"},
           {"calibrate --current 500",
            "actual current 500 mA against the reading -519 mA is of "
            "the other sign (discharge is negative), or 0; -571 to -467 mA fit"},
           {"system-voltage --actual 0", "actual system voltage 0 mV is not above 0"},
           {share("1") + " calibrate --system-voltage 12255", "more than 1 %"},
           {share("100") + " calibrate --system-voltage 30000", "more than 100 %"},
           {share("101") + " calibrate --system-voltage 30000", "more than 10 %"},
           {"--max-correction 25 calibrate --voltages 2641,4160,6240,8360,10455",
            "2641 mV against the reading 2112 mV is a correction of more than 25 %; 1584 to 2640 "
            "mV fit"}}) {
    Refused(c.args, 2, c.says);
  }
  EXPECT_TRUE(Run(share("101") + " config").Says("MaxCorrectionPct = 101 is outside 1 to 100"));
  const Result unstored =
      Process(dir.path(), "--fast --records none " + share("101") + " calibrate --temperature 25")
          .Wait();
  EXPECT_TRUE(unstored.Says("warning: Config.ini: [Host] MaxCorrectionPct = 101 is outside"));
  EXPECT_FALSE(unstored.Says("Record")) << unstored.out;  // none stored, none named
  // Within the share the run goes on, up to both ends of what a refusal says fits.
  const std::string uncalibrated = ReadFile(state), taps = ",4160,6240,8360,10455";
  for (const std::string end : {"1584", "2640"}) {
    std::ofstream(state) << uncalibrated;
    EXPECT_TRUE(Ended(Run("--max-correction 25 calibrate --voltages " + end + taps), 0, ""));
  }
  EXPECT_EQ(Run("calibrate --temperature 35.4").code, 0);
  // A unit whose gain is garbage (the system reads 1 mV at 4000 mV): refused, naming the way
  // on; gone on with --trust-references, which the record keeps.
  sim::SimState garbage = sim::LoadStateFile(state);
  garbage.truth.system_mV = 4000;
  garbage.dataflash[104][20] = 0;
  garbage.dataflash[104][21] = 5;
  Save("mis.json", garbage);
  Refused("calibrate --system-voltage 4000", 2, "--trust-references goes on all the same");
  auto trusted = Run("--trust-references calibrate --system-voltage 4000");
  EXPECT_EQ(trusted.code, 0) << trusted.err;
  EXPECT_TRUE(
      trusted.Says("references trusted: actual system voltage 4000 mV against the "
                   "reading 1 mV"))
      << trusted.err;
  EXPECT_TRUE(Process(dir.path(), "records show 4").Wait().Says("references trusted"));
}

// A script's run uses only references the script typed; the meter needs someone at the probes.
TEST_F(Guards, NothingUntypedNoMeterUnattended) {
  const std::string script = dir.Write("s.jsonl",
                                       "{\"action\":\"tick\",\"control\":\"chkVoltageCal\"}\n"
                                       "{\"action\":\"click\",\"control\":\"btnCalibrate\"}\n"
                                       "{\"action\":\"call\",\"method\":\"CalSystemVoltage\"}\n");
  Refused("script " + script, 1, "Capacitor 1 holds 2100, which nobody gave for this unit");
  auto r = Run("script " + script);
  auto lines = r.Json();
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_NE(lines[1]["why"].get<std::string>().find("actual system voltage holds 12300"),
            std::string::npos);
  EXPECT_EQ(lines[2]["runs"].size(), 2u);
  EXPECT_EQ(lines[2]["exit"], 1);
  Refused("--meter scpi-dmm:conn=tcp-raw/127.0.0.1/9 calibrate --system-voltage meter", 2,
          "there is no terminal to ask: --fixture PROGRAM moves them, or --yes");
}

// A script exits with the worst outcome of its runs, and its last line says how each ended.
TEST_F(Guards, AScriptSaysHowEachRunEnded) {
  const std::string limits = dir.Write("l.json", "{\"System voltage\": 0.5}");
  const std::string script =
      dir.Write("s.jsonl",
                "{\"action\":\"tick\",\"control\":\"chkSystemVoltage\"}\n"
                "{\"action\":\"type\",\"control\":\"txtActualSystemVoltage\",\"text\":\"12255\"}\n"
                "{\"action\":\"click\",\"control\":\"btnCalibrate\"}\n");
  auto r = Run("--limits " + limits + " script " + script);
  EXPECT_EQ(r.code, 5);
  auto last = r.Json().back();
  EXPECT_EQ(last["runs"][0]["outcome"], "out of limits");
  EXPECT_GT(last["runs"][0]["record"].get<int>(), 0);
  EXPECT_EQ(last["exit"], 5);
}

// The software board offset writes into the stack gain's word: only knowingly, and said.
TEST_F(Guards, TheSoftwareBoardOffsetOnlyKnowingly) {
  Refused("board-offset --software --yes", 2, "holds the stack voltage gain (bytes 22-23)");
  Refused("board-offset --hardware --seconds 3 --yes", 2, "--hardware excludes --seconds");
  auto r = Run("--trace " + Path("bo.jsonl") +
               " board-offset --software --seconds 3 --overwrite-stack-gain --yes");
  EXPECT_TRUE(Ended(r, 0, "calibrate the stack voltage again now"));
  // The time as typed, and its samples: 3 s give 6 a phase, two phases.
  EXPECT_TRUE(r.Says("Please wait at least 3 seconds after clicking the OK button.")) << r.out;
  int samples = 0;
  for (const auto& t : JsonLines(Path("bo.jsonl")))
    samples += t["method"] == "ReadSMBusWord_" && t["addr"] == 0x17 && t["cmd"] == 0x42;
  EXPECT_EQ(samples, 12);
  auto shown = Process(dir.path(), "records show 1").Wait();
  EXPECT_TRUE(shown.Says("\"overwrites\":\"Stack voltage gain\"")) << shown.out;
}

// A run that did not finish says what it changed all the same, and what undoes it.
TEST_F(Guards, WhatTookEffectIsSaid) {
  sim::SimState rejects = sim::LoadStateFile(state);
  rejects.forced_result = 4;  // the device rejects the temperature calibration
  Save("mis.json", rejects);
  auto r = Run("calibrate --system-voltage 12255 --temperature 25");
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(
      r.Says("Calibration not done. It changed the device all the same: System voltage "
             "gain 20500 -> 20001. vx58420cal restore 1 brings back"))
      << r.out;
}

// Small words: what a new user meets first.
TEST_F(Guards, WordsForANewUser) {
  struct Case {
    std::string args;
    int code;
    std::string says;
  };
  for (const Case& c : std::vector<Case>{
           {"", 2, "Usage: vx58420cal"},
           {"--config-dir " + state + " config", 2, "is a file, not a folder"},
           {"--address 0x16 read", 4, "the 8-bit one shifted right by one (0x16 is 0x0B)"},
           {"--save-state " + dir.path() + " read", 3, "is a folder"},
           {"--trace /nonexistent/t.jsonl read", 3, "--trace: the folder /nonexistent does not"},
           {"--sim " + dir.path() + " read", 3, "is not a regular file"},
           {"--meter-readings 101 read", 2, "--meter-readings: \"101\" is outside 2 to 100"},
           {"--json --limits " + dir.Write("bad.json", "{") + " read", 2,
            "{\"error\":\"--limits: the limits file"},
           {"--limits " + dir.Write("u.json", "{\"Capacitor 9\": 1}") + " read", 2,
            "names \"Capacitor 9\", which is not a reading"},
           {"--records POSTGRESQL://u:pw@127.0.0.1:1/r records list", 3,
            "the records database postgresql://u@127.0.0.1:1/r"},
           {"--plugin /nonexistent.so read", 4, "cannot open /nonexistent.so"},
           {"calibrate --help", 0, "actual current in mA, discharge negative\n"},
           {"errtext 5029", 0, "(the device rejected the calibration (result word bit 2))"}}) {
    auto r = Process(dir.path(), "--fast " + c.args).Wait();
    EXPECT_EQ(r.code, c.code) << c.args << r.err;
    EXPECT_TRUE(r.Says(c.says)) << c.args << ": " << r.err << r.out;
    EXPECT_FALSE(r.Says("json.exception")) << c.args;
  }
  // An output that cannot be written fails a query too.
  for (const char* q : {"sim-state", "errtext 772"}) {
    const std::string cmd = std::string(VX_CLI_PATH) + " " + q + " >/dev/full 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 3) << q;
  }
  // The watch numbers its columns, three names a line, so that they fit a terminal.
  const std::string watch = dir.path() + "/watch.txt";
  std::system(("cd " + dir.path() + " && " + VX_CLI_PATH +
               " --fast read --watch 2>/dev/null | head -2 >" + watch)
                  .c_str());
  EXPECT_EQ(ReadFile(watch),
            "columns: 1 Capacitor 1 (mV), 2 Capacitor 1 + 2 (mV), 3 Capacitor "
            "1 + 2 + 3 (mV),\n         4 Capacitor 1 through 4 (mV), 5 "
            "Capacitor 1 through 5 (mV), 6 Stack Voltage (mV),\n");
  auto probe = Process(dir.path(), "--fast --json probe").Wait();
  EXPECT_EQ(probe.code, 0);
  EXPECT_EQ(probe.Json()[1]["page_address"], 0x17);
  // Register access alone is not the device: a stack voltage it cannot read is no answer.
  const std::string deaf =
      dir.Write("deaf.json", R"({"faults": [{"command": 9, "method": "ReadSMBusWord_"}]})");
  EXPECT_TRUE(Ended(Process(dir.path(), "--fast --sim " + deaf + " probe").Wait(), 4,
                    "nothing answers at 7-bit address 0x0B"));
}

}  // namespace vx::testing
