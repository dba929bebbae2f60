// A miscalibrated device calibrated by the engine with the true values as references reads
// true afterwards.
#include <cmath>

#include "device/numeric.h"
#include "engine_fixture.h"

namespace vx::testing {

class Convergence : public EngineTest {
 protected:
  Convergence() : EngineTest(sim::MiscalibratedState(5)) {}

  CapVoltages TrueTaps(int n) {
    CapVoltages v;
    v.nCapCount = static_cast<std::int16_t>(n);
    double tap = 0;
    for (int k = 0; k < 6; ++k) {
      if (k < n) tap += dev.state().truth.cell_mV[static_cast<std::size_t>(k)];
      v.nVoltage[static_cast<std::size_t>(k)] = ToInt16(tap);
    }
    return v;
  }
};

TEST_F(Convergence, EveryReadingMatchesTheTruthAfterCalibration) {
  const auto truth = dev.state().truth;
  // Before: visibly wrong.
  EXPECT_GT(std::abs(dev.TapReading(0) - truth.cell_mV[0]), 10);
  EXPECT_GT(std::abs(dev.CurrentReading() - truth.current_mA), 10);
  EXPECT_GT(std::abs(dev.TemperatureWord() - (truth.temperature_C * 10 + 2732)), 5);

  ASSERT_EQ(CalibrateStackVoltage(ctx, TrueTaps(5), kAddr), 0);
  CalRequest r;
  r.bCCOffset = r.bTemperature = r.bCurrent = kVTrue;
  r.sngTemperature = static_cast<float>(truth.temperature_C);
  r.bExtSensor1 = kVTrue;
  r.nCurrent = ToInt16(truth.current_mA);
  r.bChargeFetOn = kVTrue;
  ASSERT_EQ(EnterCalibrationMode(ctx, 0, kAddr), 0);
  ASSERT_EQ(CalibrateDevice(ctx, r, kAddr), 0);
  ASSERT_EQ(ExitCalibrationMode(ctx, kAddr), 0);
  ASSERT_EQ(SetFetControl(ctx, false, kAddr), 0);

  double tap = 0;
  for (int k = 0; k < 5; ++k) {
    tap += truth.cell_mV[static_cast<std::size_t>(k)];
    EXPECT_NEAR(dev.TapReading(k), tap, 1.0) << "tap " << k;
  }
  EXPECT_NEAR(dev.StackReading(), tap, 1.0);
  EXPECT_NEAR(dev.TemperatureWord(), truth.temperature_C * 10 + 2732, 1.0);
  EXPECT_NEAR(dev.CurrentReading(), truth.current_mA, 1.0);
  EXPECT_FALSE(dev.InCalibrationMode());
  EXPECT_FALSE(dev.state().fets_on);
}

TEST_F(Convergence, ThreeCapacitorStack) {
  sim::SimDevice three(platform, sim::MiscalibratedState(3));
  EngineContext c3{three, platform, settings, last_mac};
  CapVoltages v;
  v.nCapCount = 3;
  double tap = 0;
  for (std::size_t k = 0; k < 6; ++k) {
    if (k < 3) tap += three.state().truth.cell_mV[k];
    v.nVoltage[k] = ToInt16(tap);
  }
  ASSERT_EQ(CalibrateStackVoltage(c3, v, kAddr), 0);
  EXPECT_NEAR(three.TapReading(0), v.nVoltage[0], 1.0);
  EXPECT_NEAR(three.TapReading(1), v.nVoltage[1], 1.0);
  EXPECT_NEAR(three.TapReading(2), v.nVoltage[2], 1.0);
  EXPECT_NEAR(three.StackReading(), v.nVoltage[5], 1.0);
}

TEST_F(Convergence, HardwareBoardOffsetCancelsTheBoardOffset) {
  dev.state().busy_ms.board_offset = 30000;
  dev.state().truth.current_mA = 0;
  ASSERT_EQ(EnterCalibrationMode(ctx, 0, kAddr), 0);
  ASSERT_EQ(CalibrateBoardOffset(ctx, kAddr), 0);
  ASSERT_EQ(ExitCalibrationMode(ctx, kAddr), 0);
  EXPECT_EQ(dev.state().cal.board_offset_cal_mA, dev.state().cal.board_offset_raw_mA);
}

}  // namespace vx::testing
