#include "device/numeric.h"
#include "engine_fixture.h"

using namespace std::chrono_literals;

namespace vx::testing {

using Strings = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

class DeviceRoutines : public EngineTest {
 protected:
  void SetUp() override {
    EnterMode();
    dev.state().busy_ms = {100, 100, 100, 100, 100};  // one busy poll each
  }
  CalRequest req;
};

TEST_F(DeviceRoutines, RequestsThatCannotRunSendNothing) {
  req.bStackVoltage = req.bSystemVoltage = kVTrue;  // not the device's to calibrate
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), kErrNothingRequested);
  req.bTemperature = kVTrue;
  req.sngTemperature = 0.0f;
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), kErrTemperatureNotAboveZero);
  req.sngTemperature = 3000.0f;  // 32732 fits, 3010 does not
  req.nCapCount = 5;
  EXPECT_NO_THROW(CheckCalRequest(req));
  req.sngTemperature = 3010.0f;
  EXPECT_THROW(CalibrateDevice(ctx, req, kAddr), RunTimeError);
  req.bTemperature = kVFalse;  // a temperature nobody asked for is not converted
  EXPECT_NO_THROW(CheckCalRequest(req));
  req.bTemperature = kVTrue;
  req.sngTemperature = 25.0f;
  req.nCapCount = 256;  // a count beyond a byte, for a request that sends one
  EXPECT_THROW(CheckCalRequest(req), RunTimeError);
  EXPECT_THROW(CalibrateDevice(ctx, req, kAddr), RunTimeError);
  req.bTemperature = kVFalse;
  req.bCurrent = kVTrue;
  EXPECT_THROW(CheckCalRequest(req), RunTimeError);
  req.bCurrent = kVFalse;
  EXPECT_NO_THROW(CheckCalRequest(req));
  req = {};
  req.bCurrent = kVTrue;
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), kErrCurrentZero);
  EXPECT_TRUE(dev.log().empty());
}

TEST_F(DeviceRoutines, CcOffsetAloneIsOneCycleWithoutParametersOrFets) {
  req.bCCOffset = kVTrue;
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"ww 51 C0 01", "rw 52", "rw 53", "cmd 72", "delay 60"}));
}

// Tenths of a kelvin, low byte first, then a yielding second before the request word. 25.05 °C
// is 2982.5 in single precision: the tie goes to the even 2982.
TEST_F(DeviceRoutines, TemperatureWordAndSensorBits) {
  // clang-format off
  const std::tuple<float, int, int, int, Bytes, std::string> kCases[] = {
      {25.0f, 1, 0, 0, {0, 0, 0, 0, 0xA6, 0x0B, 5}, "ww 51 C0 0C"},
      {25.05f, 0, 1, 0, {0, 0, 0, 0, 0xA6, 0x0B, 5}, "ww 51 C0 14"},
      {25.15f, 0, 1, 1, {0, 0, 0, 0, 0xA8, 0x0B, 5}, "ww 51 C0 34"},
      {0.5f, 0, 0, 1, {0, 0, 0, 0, 0xB1, 0x0A, 5}, "ww 51 C0 24"}};
  // clang-format on
  for (const auto& [t, internal, ext1, ext2, params, word] : kCases) {
    dev.ClearLog();
    req.bTemperature = kVTrue;
    req.sngTemperature = t;
    req.bIntSensor = internal ? kVTrue : kVFalse;
    req.bExtSensor1 = ext1 ? kVTrue : kVFalse;
    req.bExtSensor2 = ext2 ? kVTrue : kVFalse;
    req.nCapCount = 5;
    EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), 0);
    EXPECT_EQ(dev.LastParams(), params) << t;
    EXPECT_EQ(Traffic()[0], "wb 58 len7");
    EXPECT_EQ(Traffic()[1], word) << t;
  }
  EXPECT_EQ(platform.waits()[0].kind, WaitRecord::kYielding);
  EXPECT_EQ(platform.waits()[0].length, 1s);
}

TEST_F(DeviceRoutines, CurrentSwitchesTheFetsOnFirst) {
  // With the charge FET on, the FET write's status is ignored.
  req.bCurrent = kVTrue;
  req.nCurrent = -2000;
  req.bChargeFetOn = kVTrue;
  dev.AddFault({0, 0x46, "", 772, 1});
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), 0);
  EXPECT_EQ(dev.LastParams(), (Bytes{0x30, 0xF8, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Traffic(), (Strings{"wb 58 len7", "ww 46 00 04 !772", "delay 200", "ww 51 C0 40",
                                "rw 52", "rw 53", "cmd 72", "delay 60"}));
}

TEST_F(DeviceRoutines, PackVoltageSwitchesFetsOnAndLeavesThemOn) {
  EXPECT_EQ(CalibratePackVoltage(ctx, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"ww 46 00 04", "delay 200", "ww 51 C1 00", "rw 52", "rw 53",
                                "cmd 72", "delay 60"}));
  EXPECT_TRUE(dev.state().fets_on);
  EXPECT_NEAR(dev.state().cal.pack_gain, 1.0 / dev.state().cal.pack_sense_error, 1e-12);
}

// Bit 7 of the result is the board offset's success and is stored once; a clean result is
// stored a second time.
TEST_F(DeviceRoutines, HardwareBoardOffsetStoresOnceOnBit7) {
  dev.state().cal.board_offset_raw_mA = -3;
  EXPECT_EQ(CalibrateBoardOffset(ctx, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"ww_ 67 42 68", "ww_ 64 42 68", "wb 58 len7", "ww 51 C0 03",
                                "rw 52", "rw 53", "cmd 72"}));
  EXPECT_EQ(dev.LastParams(), (Bytes{0, 0, 0, 0, 0, 0, 4}));
  EXPECT_EQ(dev.state().cal.board_offset_cal_mA, -3);
  EXPECT_EQ(platform.waits().back().kind, WaitRecord::kSleep);
  EXPECT_EQ(platform.waits().back().length, 400ms);
  dev.ClearLog();
  dev.ForceResult(0x0000);
  EXPECT_EQ(CalibrateBoardOffset(ctx, kAddr), 0);
  auto t = Traffic();
  EXPECT_EQ(std::count(t.begin(), t.end(), "cmd 72"), 2);
}

}  // namespace vx::testing
