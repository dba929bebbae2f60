// The simulated device's model: what it reads from its true values and the gains in its data
// flash, its calibration mode with the arithmetic of the device-side calibrations, and its
// registers. It knows nothing of the bus; the front end (SimDevice) decodes transfers into it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_state.h"

namespace vx::sim {

class DeviceModel {
 public:
  DeviceModel(Platform& platform, SimState state) : clock_(platform), state_(std::move(state)) {}

  SimState& state() { return state_; }
  const SimState& state() const { return state_; }

  // What the device would report right now (also used by tests to compare with the truth).
  std::int16_t TapReading(int k) const;   // cumulative voltage up to capacitor k+1
  std::int16_t CellReading(int k) const;  // capacitor k+1 alone (command 0x3F - k)
  std::int16_t StackReading() const;
  std::int16_t SystemReading() const;
  std::uint16_t TemperatureWord() const;  // 0.1 K
  std::int16_t CurrentReading() const;
  int CapacitorCount() const;  // from Operation Cfg, 1..8

  bool InCalibrationMode() const { return cal_mode_; }
  std::uint16_t ControlRegister() const { return control_register_; }
  // Parameter block as the device last received it (7 bytes), empty before the first.
  const std::vector<std::uint8_t>& LastParams() const { return params_; }
  // The busy word never clears.
  void SetStayBusy(bool on) { stay_busy_ = on; }

 protected:
  // Calibration mode: entered by the entry word at the manufacturer access, left by the exit
  // command (a measurement not yet stored is dropped).
  void Enter() { cal_mode_ = true; }
  void Exit() {
    cal_mode_ = false;
    measured_ = false;
  }
  bool Busy() const;
  // The request word with the busy bits while the device measures.
  std::uint16_t BusyWord() const;
  std::uint16_t Result() const { return result_; }
  void SetParams(std::vector<std::uint8_t> bytes) { params_ = std::move(bytes); }
  void StartCalibration(std::uint16_t request);
  // The store command: the finished measurement becomes the device's calibration.
  void Store();

  DataFlashBlock& Block(int subclass) { return state_.dataflash[subclass]; }
  // Register access at 0x17: 0x8040 (the board offset's control) and 0x8042 (its sample).
  std::uint16_t ReadRegister() const;
  void SelectRegister(std::uint16_t reg) { selected_register_ = reg; }
  void WriteRegister(std::uint16_t word);

 private:
  std::int16_t Gain(int offset) const;
  double CurrentResidual() const;

  Platform& clock_;
  SimState state_;
  // Device-internal state that is not saved.
  bool cal_mode_ = false;
  bool stay_busy_ = false;
  std::vector<std::uint8_t> params_;
  std::uint16_t request_ = 0;
  TimePoint busy_until_{0};
  std::uint16_t result_ = 0;
  bool measured_ = false;  // a finished calibration waits for the store command
  std::uint16_t selected_register_ = 0;
  std::uint16_t control_register_ = 2;
};

}  // namespace vx::sim
