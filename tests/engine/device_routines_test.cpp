#include "device/numeric.h"
#include "engine_fixture.h"

using namespace std::chrono_literals;

namespace vx::testing {

using Strings = std::vector<std::string>;

class DeviceRoutines : public EngineTest {
 protected:
  void SetUp() override {
    EnterMode();
    for (auto* b : {&dev.state().busy_ms.cc_offset, &dev.state().busy_ms.temperature,
                    &dev.state().busy_ms.current, &dev.state().busy_ms.pack_voltage}) {
      *b = 100;  // one busy poll
    }
    dev.state().busy_ms.board_offset = 100;
  }
  CalRequest req;
};

TEST_F(DeviceRoutines, NothingRequestedReturns5001AndSendsNothing) {
  req.bStackVoltage = kVTrue;
  req.bSystemVoltage = kVTrue;
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), kErrNothingRequested);
  EXPECT_TRUE(dev.log().empty());
}

TEST_F(DeviceRoutines, CcOffsetAloneIsOneCycleWithoutParametersOrFets) {
  req.bCCOffset = kVTrue;
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"ww 51 C0 01", "rw 52", "rw 53", "cmd 72", "delay 60"}));
}

TEST_F(DeviceRoutines, TemperatureGoesInTenthsOfKelvinLittleEndian) {
  req.bTemperature = kVTrue;
  req.sngTemperature = 25.0f;
  req.bIntSensor = kVTrue;
  req.nCapCount = 5;
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), 0);
  EXPECT_EQ(dev.LastParams(), (std::vector<std::uint8_t>{0, 0, 0, 0, 0xA6, 0x0B, 5}));
  EXPECT_EQ(Traffic()[0], "wb 58 len7");
  EXPECT_EQ(Traffic()[1], "ww 51 C0 0C");
  // The parameter block is followed by a yielding one-second wait.
  EXPECT_EQ(platform.waits()[0].kind, WaitRecord::kYielding);
  EXPECT_EQ(platform.waits()[0].length, 1s);
}

TEST_F(DeviceRoutines, SensorBitsCombine) {
  req.bTemperature = kVTrue;
  req.sngTemperature = 30.0f;
  req.bExtSensor1 = req.bExtSensor2 = kVTrue;
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), 0);
  EXPECT_EQ(Traffic()[1], "ww 51 C0 34");
}

TEST_F(DeviceRoutines, TemperatureNotAboveZeroReturns5003BeforeAnyTransfer) {
  req.bTemperature = kVTrue;
  req.sngTemperature = 0.0f;
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), kErrTemperatureNotAboveZero);
  EXPECT_TRUE(dev.log().empty());
}

TEST_F(DeviceRoutines, TemperatureOrCountThatDoesNotFitFailsBeforeAnyTransfer) {
  req.bTemperature = kVTrue;
  req.sngTemperature = 3000.0f;  // 32732 fits, 3010 does not
  req.nCapCount = 5;
  EXPECT_NO_THROW(CheckCalRequest(req));
  req.sngTemperature = 3010.0f;
  EXPECT_THROW(CheckCalRequest(req), RunTimeError);
  EXPECT_THROW(CalibrateDevice(ctx, req, kAddr), RunTimeError);
  req.sngTemperature = 25.0f;
  req.nCapCount = 256;
  EXPECT_THROW(CheckCalRequest(req), RunTimeError);
  EXPECT_THROW(CalibrateDevice(ctx, req, kAddr), RunTimeError);
  EXPECT_TRUE(dev.log().empty());
}

TEST_F(DeviceRoutines, CurrentWithChargeFetOnSwitchesFetsOnIgnoringTheStatus) {
  req.bCurrent = kVTrue;
  req.nCurrent = -2000;
  req.bChargeFetOn = kVTrue;
  dev.AddFault({0, 0x46, "", 772, true});
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), 0);
  EXPECT_EQ(dev.LastParams()[0], 0x30);
  EXPECT_EQ(dev.LastParams()[1], 0xF8);
  EXPECT_EQ(Traffic(), (Strings{"wb 58 len7", "ww 46 00 04 !772", "delay 200", "ww 51 C0 40",
                                "rw 52", "rw 53", "cmd 72", "delay 60"}));
}

TEST_F(DeviceRoutines, CurrentWithChargeFetOffStopsWhenTheFetWriteFails) {
  req.bCurrent = kVTrue;
  req.nCurrent = 500;
  dev.AddFault({0, 0x46, "", 94, false});
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), 94);
  EXPECT_EQ(Traffic().back(), "delay 200");
  for (const auto& t : dev.log())
    EXPECT_NE(t.cmd, 0x51);
}

TEST_F(DeviceRoutines, ZeroCurrentReturns5004) {
  req.bCurrent = kVTrue;
  EXPECT_EQ(CalibrateDevice(ctx, req, kAddr), kErrCurrentZero);
  EXPECT_TRUE(dev.log().empty());
}

TEST_F(DeviceRoutines, PackVoltageSwitchesFetsOnAndLeavesThemOn) {
  EXPECT_EQ(CalibratePackVoltage(ctx, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"ww 46 00 04", "delay 200", "ww 51 C1 00", "rw 52", "rw 53",
                                "cmd 72", "delay 60"}));
  EXPECT_TRUE(dev.state().fets_on);
  EXPECT_NEAR(dev.state().cal.pack_gain, 1.0 / dev.state().cal.pack_sense_error, 1e-12);
}

TEST_F(DeviceRoutines, HardwareBoardOffsetTakesResultBit7AsSuccessAndStoresOnce) {
  dev.state().cal.board_offset_raw_mA = -3;
  EXPECT_EQ(CalibrateBoardOffset(ctx, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"ww_ 67 42 68", "ww_ 64 42 68", "wb 58 len7", "ww 51 C0 03",
                                "rw 52", "rw 53", "cmd 72"}));
  EXPECT_EQ(dev.LastParams(), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 4}));
  EXPECT_EQ(dev.state().cal.board_offset_cal_mA, -3);
  EXPECT_EQ(platform.waits().back().kind, WaitRecord::kSleep);
  EXPECT_EQ(platform.waits().back().length, 400ms);
}

TEST_F(DeviceRoutines, HardwareBoardOffsetWithACleanResultStoresTwice) {
  dev.ForceResult(0x0000);
  EXPECT_EQ(CalibrateBoardOffset(ctx, kAddr), 0);
  int stores = 0;
  for (const auto& t : dev.log())
    stores += t.cmd == 0x72;
  EXPECT_EQ(stores, 2);
}

}  // namespace vx::testing
