#include "engine_fixture.h"

using namespace std::chrono_literals;

namespace vx::testing {

using CalibrationMode = EngineTest;
using Strings = std::vector<std::string>;

TEST_F(CalibrationMode, EnterWritesTheEntryWordToTheManufacturerAccessCommand) {
  dev.state().mac_command = 0x44;
  EXPECT_EQ(EnterCalibrationMode(ctx, 0x44, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"rw 50", "ww 44 00 40", "rw 50"}));
  EXPECT_EQ(last_mac, 0x44);
  EXPECT_TRUE(dev.InCalibrationMode());
  EXPECT_EQ(platform.Now(), 0ns);  // no wait between entry and signature check
}

TEST_F(CalibrationMode, EnterWhenAlreadyInTheModeSendsNothingMore) {
  EnterMode();
  EXPECT_EQ(EnterCalibrationMode(ctx, 0, kAddr), 0);
  EXPECT_EQ(Traffic(), Strings{"rw 50"});
}

// A device that acknowledges the entry word but does not act on it.
class DeafDevice : public sim::SimDevice {
 public:
  using SimDevice::SimDevice;
  Status WriteSMBusWord(std::uint8_t c, std::uint8_t hi, std::uint8_t lo,
                        std::int16_t addr) override {
    if (c == 0x00) return 0;
    return SimDevice::WriteSMBusWord(c, hi, lo, addr);
  }
};

TEST(CalibrationModeEntry, EnterWithoutSignatureGives5010) {
  VirtualPlatform platform;
  DeafDevice dev(platform);
  Settings settings = DefaultSettings();
  std::uint8_t mac = 0;
  EngineContext ctx{dev, platform, settings, mac};
  EXPECT_EQ(EnterCalibrationMode(ctx, 0, 0x16), kErrNoSignature);
  EXPECT_FALSE(dev.InCalibrationMode());
}

TEST_F(CalibrationMode, EnterRejectsACodeOutsideAByteBeforeAnyTransfer) {
  EXPECT_THROW(EnterCalibrationMode(ctx, 256, kAddr), RunTimeError);
  EXPECT_THROW(EnterCalibrationMode(ctx, -1, kAddr), RunTimeError);
  EXPECT_TRUE(dev.log().empty());
}

TEST_F(CalibrationMode, ExitSendsTheExitCommandBetweenItsWaits) {
  EnterMode();
  EXPECT_EQ(ExitCalibrationMode(ctx, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"delay 50", "rw 50", "delay 10", "rw 50", "delay 50", "cmd 73",
                                "delay 1000"}));
  EXPECT_FALSE(dev.InCalibrationMode());
  EXPECT_EQ(platform.Now(), 1110ms);
}

TEST_F(CalibrationMode, ExitOutsideTheModeSendsNothingAndStillWaits) {
  EXPECT_EQ(ExitCalibrationMode(ctx, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"delay 50", "rw 50", "delay 10", "rw 50", "delay 1000"}));
  EXPECT_EQ(platform.Now(), 1060ms);
}

TEST_F(CalibrationMode, ExitIgnoresTheFirstReadButNotTheSecond) {
  EnterMode();
  dev.AddFault({1, -1, "", 94, false});
  EXPECT_EQ(ExitCalibrationMode(ctx, kAddr), 0);
  dev.ClearLog();
  EnterMode();
  dev.AddFault({0, 0x50, "", 8, false});
  EXPECT_EQ(ExitCalibrationMode(ctx, kAddr), 8);
  EXPECT_EQ(Traffic(), (Strings{"delay 50", "rw 50 !8", "delay 10", "rw 50 !8"}));
}

TEST(CalStatusToError, LowestTableBitDecides) {
  EXPECT_EQ(CalStatusToError(0x00, 0x81), 5031);
  EXPECT_EQ(CalStatusToError(0x00, 0x80), 5024);
  EXPECT_EQ(CalStatusToError(0x02, 0x00), 5039);
  EXPECT_EQ(CalStatusToError(0x80, 0x00), 5020);
  EXPECT_EQ(CalStatusToError(0x01, 0x00), 5023);
  EXPECT_EQ(CalStatusToError(0x20, 0x00), 5022);
  EXPECT_EQ(CalStatusToError(0x40, 0x00), 5021);
  EXPECT_EQ(CalStatusToError(0x1E, 0x00), 5039);
  EXPECT_EQ(CalStatusToError(0xFF, 0x40), 5025);
}

TEST_F(CalibrationMode, RunCalibrationPollsUntilTheDeviceIsDoneThenStores) {
  EnterMode();
  dev.state().busy_ms.cc_offset = 1000;
  std::uint8_t hi = 0;
  EXPECT_EQ(RunCalibration(ctx, hi, 0x01, kAddr), 0);
  EXPECT_EQ(hi, 0xC0);
  // Busy at 300, 550, 800; done at 1050. Every poll is followed by 250 ms.
  EXPECT_EQ(Traffic(), (Strings{"ww 51 C0 01", "rw 52", "rw 52", "rw 52", "rw 52", "rw 53",
                                "cmd 72", "delay 60"}));
  EXPECT_EQ(platform.Now(), 300ms + 4 * 250ms + 60ms + 60ms);
}

TEST_F(CalibrationMode, RunCalibrationTwiceWithTheSameHighByteSendsC0BothTimes) {
  EnterMode();
  std::uint8_t hi = 0;
  ASSERT_EQ(RunCalibration(ctx, hi, 0x01, kAddr), 0);
  ASSERT_EQ(RunCalibration(ctx, hi, 0x01, kAddr), 0);
  int starts = 0;
  for (const auto& t : dev.log()) {
    if (t.cmd == 0x51) {
      EXPECT_EQ(t.bytes[0], 0xC0);
      ++starts;
    }
  }
  EXPECT_EQ(starts, 2);
}

TEST_F(CalibrationMode, ARejectedCalibrationIsNotStored) {
  EnterMode();
  dev.ForceResult(0x0081);
  std::uint8_t hi = 0;
  EXPECT_EQ(RunCalibration(ctx, hi, 0x01, kAddr), 5031);
  for (const auto& t : dev.log())
    EXPECT_NE(t.cmd, 0x72);
}

TEST_F(CalibrationMode, ADeviceThatStaysBusyEndsThePollWithItsOwnCode) {
  EnterMode();
  dev.SetStayBusy(true);
  std::uint8_t hi = 0;
  EXPECT_EQ(RunCalibration(ctx, hi, 0x01, kAddr), kErrDeviceStaysBusy);
  int polls = 0;
  for (const auto& t : dev.log())
    polls += t.cmd == 0x52;
  EXPECT_EQ(polls, kMaxBusyPolls);
  EXPECT_EQ(platform.Now(), 300ms + kMaxBusyPolls * 250ms);
  for (const auto& t : dev.log())
    EXPECT_NE(t.cmd, 0x53);
}

TEST_F(CalibrationMode, SetFetControlWaitsTwiceEvenAfterAFailedWrite) {
  dev.AddFault({0, 0x46, "", 772, false});
  EXPECT_EQ(SetFetControl(ctx, true, kAddr), 772);
  EXPECT_EQ(Traffic(), (Strings{"ww 46 00 04 !772", "delay 200"}));
  EXPECT_EQ(platform.Now(), 400ms);
  ASSERT_EQ(platform.waits().size(), 2u);
  EXPECT_EQ(platform.waits()[0].kind, WaitRecord::kSleep);     // the adapter's Delay
  EXPECT_EQ(platform.waits()[1].kind, WaitRecord::kYielding);  // DelayMs
  dev.ClearFaults();
  EXPECT_EQ(SetFetControl(ctx, true, kAddr), 0);
  EXPECT_TRUE(dev.state().fets_on);
  EXPECT_EQ(SetFetControl(ctx, false, kAddr), 0);
  EXPECT_FALSE(dev.state().fets_on);
}

}  // namespace vx::testing
