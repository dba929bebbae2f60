// A simulated supercapacitor-stack manager on the bus: an SMBusAdapter that answers from a
// model of the device, logs every transfer, and fails on demand.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/smbus_adapter.h"
#include "platform/platform.h"
#include "sim/sim_state.h"

namespace vx::sim {

struct Transfer {
  std::string method;
  std::int16_t addr = 0;
  int cmd = -1;                     // -1 for CheckForError and Delay
  std::vector<std::uint8_t> bytes;  // written or read, in wire order (hi first for words)
  Status status = 0;
  TimePoint at{0};
  std::int32_t ms = 0;  // Delay only
};

class SimDevice : public SMBusAdapter {
 public:
  SimDevice(Platform& platform, SimState state = DefaultState());

  Status ReadSMBusWord(std::uint8_t cmd, std::uint8_t& hi, std::uint8_t& lo,
                       std::int16_t addr) override;
  Status ReadSMBusWord_(std::uint8_t cmd, std::int16_t& value, std::int16_t addr) override;
  Status WriteSMBusWord(std::uint8_t cmd, std::uint8_t hi, std::uint8_t lo,
                        std::int16_t addr) override;
  Status WriteSMBusWord_(std::uint8_t cmd, std::int16_t value, std::int16_t addr) override;
  Status ReadSMBusBlock_(std::uint8_t cmd, std::span<std::uint8_t> data, std::int16_t& length,
                         std::int16_t addr) override;
  Status WriteSMBusBlock(std::uint8_t cmd, std::span<const std::uint8_t> data, std::int16_t length,
                         std::int16_t addr) override;
  Status WriteSMBusCommand(std::uint8_t cmd, std::int16_t addr) override;
  Status CheckForError() override;
  Status Delay(std::int32_t ms) override;

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

  // Transfer log and fault injection.
  const std::vector<Transfer>& log() const { return log_; }
  void ClearLog() { log_.clear(); }
  std::int64_t transfer_count() const { return transfers_; }
  void AddFault(const FaultRule& r) { state_.faults.push_back(r); }
  void ClearFaults();
  // Block reads of the data flash return only this many bytes (-1: whole blocks).
  void SetShortBlock(int length) { short_block_ = length; }
  // The busy word never clears.
  void SetStayBusy(bool on) { stay_busy_ = on; }
  // The result word that the next calibrations report instead of the model's own.
  void ForceResult(std::optional<std::uint16_t> word) { state_.forced_result = word; }
  // The adapter's Delay lets the host process events while it waits (desktop hosts).
  void SetDelayProcessesEvents(bool on) { delay_processes_events_ = on; }
  // Called after every logged transfer (traces).
  std::function<void(const Transfer&)> on_transfer;

 private:
  bool ForThisDevice(std::int16_t addr, std::uint8_t cmd) const;
  bool Busy() const;
  // The status of a fault rule that matches this transfer (nth counts bus transfers only).
  std::optional<Status> Injected(const std::string& method, int cmd, bool bus_transfer);
  Status Begin(const std::string& method, std::int16_t addr, std::uint8_t cmd);
  void Log(const std::string& method, std::int16_t addr, int cmd, std::vector<std::uint8_t> bytes,
           Status status);

  Status ReadWord(std::uint8_t cmd, std::int16_t addr, std::uint16_t& word);
  Status WriteWord(std::uint8_t cmd, std::uint16_t word, std::int16_t addr);
  Status ReadRegisterWord(std::uint8_t cmd, std::uint16_t& word);
  Status WriteRegisterWord(std::uint8_t cmd, std::uint16_t word);
  std::uint16_t BusyWord();
  void StartCalibration(std::uint8_t hi, std::uint8_t lo);
  void Store();
  DataFlashBlock& Block(int subclass);
  std::int16_t Gain(int offset) const;

  Platform& platform_;
  SimState state_;
  std::vector<Transfer> log_;
  std::int64_t transfers_ = 0;
  Status last_status_ = 0;
  int short_block_ = -1;
  bool stay_busy_ = false;
  bool delay_processes_events_ = false;

  // Device-internal state that is not saved.
  bool cal_mode_ = false;
  int selected_subclass_ = -1;
  std::vector<std::uint8_t> params_;
  std::uint16_t request_ = 0;
  TimePoint busy_until_{0};
  std::uint16_t result_ = 0;
  bool measured_ = false;  // a finished calibration waits for the store command
  std::uint16_t selected_register_ = 0;
  std::uint16_t control_register_ = 2;
};

}  // namespace vx::sim
