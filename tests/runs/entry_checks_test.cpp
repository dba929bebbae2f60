#include "runs/entry_checks.h"

#include "device/numeric.h"

#include "run_fixture.h"

namespace vx::testing {

using Strings = std::vector<std::string>;

class EntryChecks : public RunTest {
 protected:
  void SetVoltages(const Strings& v) {
    for (std::size_t k = 0; k < v.size(); ++k)
      At("txtVoltage", static_cast<int>(k)).SetText(v[k]);
  }
  // The messages of one check; "trap" when it raises a run-time failure instead.
  template <typename Check>
  Strings Messages(Check check) {
    platform().TakeMessages();
    try {
      bool passed = check();
      EXPECT_EQ(passed, platform().messages().empty());
    } catch (const RunTimeError& e) {
      return {std::string("trap ") + e.what()};
    }
    return MessageTexts();
  }
  Strings System(const char* typed) {
    At("txtActualSystemVoltage").SetText(typed);
    return Messages([&] { return SystemVoltageTest(*cal); });
  }
  Strings Temperature(const char* measured, const char* actual) {
    At("txtCalMeasTemperature").SetText(measured);
    At("txtTemperature").SetText(actual);
    return Messages([&] { return TemperatureTest(*cal, request); });
  }
  Strings Capacitors(const Strings& actual) {
    SetVoltages(actual);
    return Messages([&] { return CapacitorVoltageTests(*cal, request, volts); });
  }
  static bool IsTrap(const Strings& m) { return m.size() == 1 && m[0].rfind("trap ", 0) == 0; }

  CalRequest request;
  CapVoltages volts;
};

TEST_F(EntryChecks, SystemVoltageLimitsAtTheirEdges) {
  const std::string low =
      "Actual system voltage entered appears low. Please check this value and retry calibration.";
  const std::string high =
      "Actual system voltage entered appears high.  Please check this value and retry "
      "calibration.";
  for (const char* ok : {"2000", "20000", "1999.5"})  // 1999.5 rounds to 2000
    EXPECT_TRUE(System(ok).empty()) << ok;
  EXPECT_EQ(System("1999"), Strings{low});
  EXPECT_EQ(System("20001"), Strings{high});
  EXPECT_TRUE(IsTrap(System("")));
  // Through the run: refused before the device, the page back as it was.
  Tick("chkSystemVoltage");
  At("txtActualSystemVoltage").SetText("1999");
  Calibrate();
  EXPECT_EQ(MessageTexts(), Strings{low});
  EXPECT_TRUE(dev().log().empty());
  ExpectIdlePanel();
}

TEST_F(EntryChecks, TemperatureDifferenceUpTo25WholeDegrees) {
  const std::string msg =
      "The difference between measured and actual temperature is greater than allowed.  The "
      "expected range of correction is plus or minus 12.7 degrees C using a default offset "
      "value of 0 in Dataflash.";
  for (const char* ok : {"52", "2"})
    EXPECT_TRUE(Temperature("27", ok).empty()) << ok;
  for (const char* far : {"53", "1"})
    EXPECT_EQ(Temperature("27", far), Strings{msg}) << far;
  EXPECT_TRUE(IsTrap(Temperature("Err_Rd", "25")));
  // The actual value is read as a float first, then the measured one and the actual one as
  // whole numbers: with two bad texts the description names the actual one.
  auto m = Temperature("warm", "25x");
  ASSERT_TRUE(IsTrap(m));
  EXPECT_NE(m[0].find("25x"), std::string::npos);
  m = Temperature("warm", "25.0");
  ASSERT_TRUE(IsTrap(m));
  EXPECT_NE(m[0].find("warm"), std::string::npos);
  EXPECT_TRUE(Temperature("25", "25.5").empty());
  EXPECT_EQ(request.sngTemperature, 25.5f);
}

TEST_F(EntryChecks, CapacitorTestsGoCapacitorByCapacitor) {
  At("txtCalMeasVoltage", 1).SetText("Err_Rd");
  EXPECT_EQ(Capacitors({"0", "4200", "6300", "8400", "10500", "10500"}),
            Strings{"Actual measured voltage entered for Capacitor 1 is less than or equal to "
                    "zero."});
  EXPECT_EQ(Capacitors({"2100", "4200", "6300", "8400", "10500", "10500"}),
            Strings{"Capacitor 2 has an invaild voltage measurement. Please check communication "
                    "connection with device."});
  At("txtCalMeasVoltage", 1).SetText("4100");
  At("txtCalMeasVoltage", 2).SetText("0");
  EXPECT_EQ(Capacitors({"2100", "4200", "6300", "8400", "10500", "10500"}),
            Strings{"Capacitor 3 has a measurement of zero. Please ensure a capacitor with a "
                    "vaild voltage is connected to device."});
}

// Capacitor c must lie within 1000 x c and 4000 x c and not below the one before; the stack
// entry is converted (so "x" fails) but not compared with capacitor 5.
TEST_F(EntryChecks, CapacitorLimitsAtTheirEdgesAndInOrder) {
  auto limit = [](int c, const char* what) {
    return Strings{"Actual measured voltage entered for Capacitor " + std::to_string(c) +
                   " appears " + what + ".  Please check this value."};
  };
  const std::pair<Strings, Strings> kCases[] = {
      {{"999", "4200", "6300", "8400", "10500", "10500"}, limit(1, "low")},
      {{"1000", "1999", "6300", "8400", "10500", "10500"}, limit(2, "low")},
      {{"1000", "2000", "3000", "4000", "5000", "5000"}, {}},
      {{"4001", "8000", "12000", "16000", "20000", "20000"}, limit(1, "high")},
      {{"4000", "8001", "12000", "16000", "20000", "20000"}, limit(2, "high")},
      {{"4000", "8000", "12000", "16000", "20000", "20000"}, {}},
      {{"4100", "4000", "6300", "8400", "10500", "10500"},
       {"Actual measured voltage entered for Capacitor 2 is lower that Capacitor 1."}},
      {{"2100", "4200", "6300", "8400", "10500", "100"}, {}}};
  for (const auto& [actual, expected] : kCases)
    EXPECT_EQ(Capacitors(actual), expected) << actual[0] << " " << actual[1];
  EXPECT_EQ(Text("txtVoltage", 5), "10500");  // the top capacitor's value for the stack
  EXPECT_EQ(volts.nVoltage[5], 10500);
  EXPECT_TRUE(IsTrap(Capacitors({"2100", "4200", "6300", "8400", "10500", "x"})));
}

TEST_F(EntryChecks, RowsAboveTheCountTakeTheTopValueAndAreDisabled) {
  cal->Fields().nCapCount = 3;
  At("txtCalMeasVoltage", 3).SetText("Err_Rd");  // capacitor 4 is not tested
  EXPECT_TRUE(IsTrap(Capacitors({"2100", "4200", "6300", "6300", "6300", "abc"})));
  auto m = Capacitors({"2100", "4200", "6300", "1", "7000", "7000"});
  EXPECT_TRUE(m.empty()) << m[0];
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(At("txtVoltage", k).enabled(), k < 3);
    EXPECT_EQ(volts.nVoltage[static_cast<std::size_t>(k)], 2100 * std::min(k + 1, 3));
    if (k >= 3) {
      EXPECT_EQ(Text("txtVoltage", k), "6300");
    }
  }
  EXPECT_EQ(volts.nCapCount, 3);
}

}  // namespace vx::testing
