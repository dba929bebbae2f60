#include "run_fixture.h"

namespace vx::testing {

class EntryChecks : public RunTest {
 protected:
  // Runs with only the given selection and returns the messages shown.
  std::vector<std::string> Run(const char* check_box) {
    platform().TakeMessages();
    dev().ClearLog();
    for (const char* c : {"chkVoltageCal", "chkSystemVoltage", "chkTempCal", "chkCurrentCal"}) {
      At(c).SetValue(0);
    }
    Tick(check_box);
    form().Click("btnCalibrate");
    return MessageTexts();
  }
  bool Passed(const std::vector<std::string>& m) { return m.empty(); }
  void SetVoltages(std::vector<std::string> v) {
    for (std::size_t k = 0; k < v.size(); ++k)
      At("txtVoltage", static_cast<int>(k)).SetText(v[k]);
  }
  static bool IsTrap(const std::vector<std::string>& m) {
    return m.size() == 1 && m[0].rfind("Invalid value entered! Error description:", 0) == 0;
  }
};

TEST_F(EntryChecks, SystemVoltageLimitsAtTheirEdges) {
  const std::string low =
      "Actual system voltage entered appears low. Please check this value and retry calibration.";
  const std::string high =
      "Actual system voltage entered appears high.  Please check this value and retry "
      "calibration.";
  At("txtActualSystemVoltage").SetText("2000");
  EXPECT_TRUE(Run("chkSystemVoltage").empty());
  At("txtActualSystemVoltage").SetText("20000");
  EXPECT_TRUE(Run("chkSystemVoltage").empty());
  At("txtActualSystemVoltage").SetText("1999");
  EXPECT_EQ(Run("chkSystemVoltage"), std::vector<std::string>{low});
  EXPECT_TRUE(dev().log().empty());
  At("txtActualSystemVoltage").SetText("20001");
  EXPECT_EQ(Run("chkSystemVoltage"), std::vector<std::string>{high});
  At("txtActualSystemVoltage").SetText("1999.5");  // rounds to 2000
  EXPECT_TRUE(Run("chkSystemVoltage").empty());
  At("txtActualSystemVoltage").SetText("");
  EXPECT_TRUE(IsTrap(Run("chkSystemVoltage")));
}

TEST_F(EntryChecks, TemperatureDifferenceUpTo25WholeDegrees) {
  const std::string msg =
      "The difference between measured and actual temperature is greater than allowed.  The "
      "expected range of correction is plus or minus 12.7 degrees C using a default offset "
      "value of 0 in Dataflash.";
  // Each passing run ends with a scan that rewrites the measured box: set it afresh.
  for (auto [actual, ok] : std::vector<std::pair<const char*, bool>>{
           {"52", true}, {"53", false}, {"2", true}, {"1", false}}) {
    At("txtCalMeasTemperature").SetText("27");
    At("txtTemperature").SetText(actual);
    auto m = Run("chkTempCal");
    if (ok) {
      EXPECT_TRUE(m.empty()) << actual;
    } else {
      EXPECT_EQ(m, std::vector<std::string>{msg}) << actual;
      EXPECT_TRUE(dev().log().empty());
    }
  }
  At("txtCalMeasTemperature").SetText("Err_Rd");
  At("txtTemperature").SetText("25");
  EXPECT_TRUE(IsTrap(Run("chkTempCal")));
  // The float reading of the actual value comes first, then the measured value, then the actual
  // one: with two bad texts the description names the measured one.
  At("txtTemperature").SetText("25x");
  auto m = Run("chkTempCal");
  ASSERT_TRUE(IsTrap(m));
  EXPECT_NE(m[0].find("25x"), std::string::npos);
  At("txtTemperature").SetText("25.0");
  At("txtCalMeasTemperature").SetText("warm");
  m = Run("chkTempCal");
  ASSERT_TRUE(IsTrap(m));
  EXPECT_NE(m[0].find("warm"), std::string::npos);
}

TEST_F(EntryChecks, CapacitorTestsGoCapacitorByCapacitor) {
  At("txtVoltage", 0).SetText("0");
  At("txtCalMeasVoltage", 1).SetText("Err_Rd");
  EXPECT_EQ(Run("chkVoltageCal"),
            std::vector<std::string>{"Actual measured voltage entered for Capacitor 1 is less "
                                     "than or equal to zero."});
  form().Tick("tmrScan");
  SetVoltages({"2100", "4200", "6300", "8400", "10500", "10500"});
  At("txtCalMeasVoltage", 1).SetText("Err_Rd");
  EXPECT_EQ(Run("chkVoltageCal"),
            std::vector<std::string>{"Capacitor 2 has an invaild voltage measurement. Please "
                                     "check communication connection with device."});
  form().Tick("tmrScan");
  At("txtCalMeasVoltage", 2).SetText("0");
  EXPECT_EQ(Run("chkVoltageCal"),
            std::vector<std::string>{"Capacitor 3 has a measurement of zero. Please ensure a "
                                     "capacitor with a vaild voltage is connected to device."});
}

TEST_F(EntryChecks, CapacitorLimitsAndOrder) {
  auto run = [&](std::vector<std::string> v) {
    form().Tick("tmrScan");
    SetVoltages(v);
    return Run("chkVoltageCal");
  };
  auto low = [](int c) {
    return "Actual measured voltage entered for Capacitor " + std::to_string(c) +
           " appears low.  Please check this value.";
  };
  auto high = [](int c) {
    return "Actual measured voltage entered for Capacitor " + std::to_string(c) +
           " appears high.  Please check this value.";
  };
  EXPECT_EQ(run({"999", "4200", "6300", "8400", "10500", "10500"}),
            std::vector<std::string>{low(1)});
  EXPECT_EQ(run({"4001", "8000", "12000", "16000", "20000", "20000"}),
            std::vector<std::string>{high(1)});
  EXPECT_EQ(run({"4000", "8001", "12000", "16000", "20000", "20000"}),
            std::vector<std::string>{high(2)});
  EXPECT_EQ(run({"4100", "4000", "6300", "8400", "10500", "10500"}),
            std::vector<std::string>{
                "Actual measured voltage entered for Capacitor 2 is lower that Capacitor 1."});
  // The stack entry is converted (so "x" fails) but not compared with capacitor 5.
  EXPECT_TRUE(IsTrap(run({"2100", "4200", "6300", "8400", "10500", "x"})));
  auto m = run({"2100", "4200", "6300", "8400", "10500", "100"});
  EXPECT_TRUE(m.empty()) << m[0];
  EXPECT_EQ(Text("txtVoltage", 5), "10500");
}

class ThreeCapacitors : public EntryChecks {
 protected:
  void SetUp() override {
    dev().state().dataflash[64][0] = 2;
    RunTest::SetUp();
  }
};

TEST_F(ThreeCapacitors, RowsAboveTheCountTakeTheTopValueAndAreDisabled) {
  SetVoltages({"2100", "4200", "6300", "1", "x", "y"});
  At("txtVoltage", 4).SetText("7000");
  At("txtVoltage", 5).SetText("7000");
  At("txtCalMeasVoltage", 3).SetText("Err_Rd");  // capacitor 4 is not tested
  auto m = Run("chkVoltageCal");
  EXPECT_TRUE(m.empty()) << m[0];
  for (int k = 0; k < 3; ++k)
    EXPECT_TRUE(At("txtVoltage", k).enabled());
  for (int k = 3; k < 6; ++k) {
    EXPECT_EQ(Text("txtVoltage", k), "6300");
    EXPECT_FALSE(At("txtVoltage", k).enabled());
  }
}

TEST_F(ThreeCapacitors, NonNumericEntryAboveTheCountIsStillAFailure) {
  SetVoltages({"2100", "4200", "6300", "6300", "6300", "abc"});
  EXPECT_TRUE(IsTrap(Run("chkVoltageCal")));
}

}  // namespace vx::testing
