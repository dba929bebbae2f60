#include "device/utils.h"
#include "engine/status_codes.h"
#include "engine_fixture.h"

using namespace std::chrono_literals;

namespace vx::testing {

using CalibrationMode = EngineTest;
using Strings = std::vector<std::string>;

TEST_F(CalibrationMode, EntryAndExitWithTheirWaits) {
  dev.state().mac_command = 0x44;
  EXPECT_THROW(EnterCalibrationMode(ctx, 256, kAddr), RunTimeError);  // before any transfer
  EXPECT_TRUE(dev.log().empty());
  EXPECT_EQ(EnterCalibrationMode(ctx, 0x44, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"rw 50", "ww 44 00 40", "rw 50"}));
  EXPECT_EQ(last_mac, 0x44);
  EXPECT_EQ(platform.Now(), 0ns);  // no wait between the entry word and its check
  dev.ClearLog();
  EXPECT_EQ(EnterCalibrationMode(ctx, 0x44, kAddr), 0);  // already there: nothing more
  EXPECT_EQ(Traffic(), Strings{"rw 50"});
  dev.ClearLog();
  EXPECT_EQ(ExitCalibrationMode(ctx, kAddr), 0);
  EXPECT_EQ(Traffic(), (Strings{"delay 50", "rw 50", "delay 10", "rw 50", "delay 50", "cmd 73",
                                "delay 1000"}));
  EXPECT_FALSE(dev.InCalibrationMode());
  EXPECT_EQ(platform.Now(), 1110ms);
  dev.ClearLog();
  EXPECT_EQ(ExitCalibrationMode(ctx, kAddr), 0);  // outside the mode: no command, same waits
  EXPECT_EQ(Traffic(), (Strings{"delay 50", "rw 50", "delay 10", "rw 50", "delay 1000"}));
  EXPECT_EQ(platform.Now(), 2170ms);
}

// A device that acknowledges the entry word but does not act on it, answering the signature
// read with a word of its own.
class DeafDevice : public sim::SimDevice {
 public:
  using SimDevice::SimDevice;
  std::uint16_t word = 0;
  Status WriteSMBusWord(std::uint8_t c, std::uint8_t hi, std::uint8_t lo,
                        std::int16_t addr) override {
    return c == 0x00 ? 0 : SimDevice::WriteSMBusWord(c, hi, lo, addr);
  }
  Status ReadSMBusWord(std::uint8_t c, std::uint8_t& hi, std::uint8_t& lo,
                       std::int16_t addr) override {
    Status s = SimDevice::ReadSMBusWord(c, hi, lo, addr);
    if (c == 0x50) SplitWord(static_cast<std::int16_t>(word), hi, lo);
    return s;
  }
};

// Only the whole signature word counts.
TEST(CalibrationModeEntry, WithoutTheSignatureGives5010) {
  for (int half : {0x0000, 0x4C00, 0x007A}) {
    VirtualPlatform platform;
    DeafDevice dev(platform);
    dev.word = static_cast<std::uint16_t>(half);
    Settings settings = DefaultSettings();
    std::uint8_t mac = 0;
    EngineContext ctx{dev, platform, settings, mac};
    EXPECT_EQ(EnterCalibrationMode(ctx, 0, 0x16), kErrNoSignature) << half;
  }
}

TEST(CalStatusToError, TheLowestTableBitDecides) {
  const std::pair<std::uint16_t, Status> kCases[] = {
      {0x0081, 5031}, {0x0080, 5024}, {0x0200, 5039}, {0x8000, 5020}, {0x0100, 5023},
      {0x2000, 5022}, {0x4000, 5021}, {0x1E00, 5039}, {0xFF40, 5025}, {0x0002, 5030},
      {0x0004, 5029}, {0x0008, 5028}, {0x0010, 5027}, {0x0020, 5026}};
  for (auto [word, code] : kCases) {
    EXPECT_EQ(CalStatusToError(static_cast<std::uint8_t>(word >> 8),
                               static_cast<std::uint8_t>(word & 0xFF)),
              code)
        << word;
  }
}

// The busy word counts in bits 13..0: a request whose busy bits are all in the high byte (the
// pack voltage's 0x0100) is polled as long as one whose bits are in the low byte.
TEST_F(CalibrationMode, RunCalibrationPollsWhileEitherByteIsBusyThenStores) {
  for (auto [hi, lo] : {std::pair<std::uint8_t, std::uint8_t>{0, 0x01}, {0x01, 0}}) {
    EnterMode();
    dev.state().busy_ms = {1000, 0, 0, 0, 1000};
    dev.state().fets_on = true;  // the pack voltage is seen through the FETs
    auto start = platform.Now();
    std::uint8_t h = hi;
    EXPECT_EQ(RunCalibration(ctx, h, lo, kAddr), 0);
    EXPECT_EQ(h, hi | 0xC0);
    // Busy at 300, 550, 800; done at 1050. Every poll is followed by 250 ms.
    auto traffic = Traffic();
    EXPECT_EQ(Strings(traffic.begin() + 1, traffic.end()),
              (Strings{"rw 52", "rw 52", "rw 52", "rw 52", "rw 53", "cmd 72", "delay 60"}));
    EXPECT_EQ(platform.Now() - start, 300ms + 4 * 250ms + 60ms + 60ms);
  }
  std::uint8_t hi = 0;  // the same variable twice: 0xC0 both times
  ASSERT_EQ(RunCalibration(ctx, hi, 0x01, kAddr), 0);
  dev.ClearLog();
  ASSERT_EQ(RunCalibration(ctx, hi, 0x01, kAddr), 0);
  EXPECT_EQ(Traffic().front(), "ww 51 C0 01");
}

TEST_F(CalibrationMode, ARejectedOrNeverEndingCalibrationIsNotStored) {
  EnterMode();
  dev.ForceResult(0x0081);
  std::uint8_t hi = 0;
  EXPECT_EQ(RunCalibration(ctx, hi, 0x01, kAddr), 5031);
  EnterMode();
  dev.ClearFaults();
  dev.SetStayBusy(true);
  auto start = platform.Now();
  EXPECT_EQ(RunCalibration(ctx, hi, 0x01, kAddr), kErrDeviceStaysBusy);
  EXPECT_EQ(platform.Now() - start, 300ms + kMaxBusyPolls * 250ms);
  int polls = 0;
  for (const auto& t : dev.log()) {
    polls += t.cmd == 0x52;
    EXPECT_TRUE(t.cmd != 0x53 && t.cmd != 0x72);
  }
  EXPECT_EQ(polls, kMaxBusyPolls);
}

}  // namespace vx::testing
