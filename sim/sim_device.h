// A simulated supercapacitor-stack manager on the bus: an SMBusAdapter whose front end decodes
// each transfer into the device's model, logs it, and fails it on demand.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/smbus_adapter.h"
#include "platform/platform.h"
#include "sim/device_model.h"
#include "sim/sim_state.h"

namespace vx::sim {

struct Transfer {
  AdapterMethod method = AdapterMethod::kReadSMBusWord;
  std::int16_t addr = 0;
  int cmd = -1;                     // -1 for CheckForError and Delay
  std::vector<std::uint8_t> bytes;  // written or read, in wire order (hi first for words)
  Status status = 0;
  TimePoint at{0};
  std::int32_t ms = 0;  // Delay only
};

class SimDevice : public SMBusAdapter, public DeviceModel {
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

  // Transfer log and fault injection.
  const std::vector<Transfer>& log() const { return log_; }
  void ClearLog() { log_.clear(); }
  std::int64_t transfer_count() const { return transfers_; }
  void AddFault(const FaultRule& r) { state().faults.push_back(r); }
  void ClearFaults();
  // Block reads of the data flash return only this many bytes (-1: whole blocks).
  void SetShortBlock(int length) { short_block_ = length; }
  // The result word that the next calibrations report instead of the model's own.
  void ForceResult(std::optional<std::uint16_t> word) { state().forced_result = word; }
  // The adapter's Delay lets the host process events while it waits (desktop hosts).
  void SetDelayProcessesEvents(bool on) { delay_processes_events_ = on; }
  // Called after every logged transfer (traces).
  std::function<void(const Transfer&)> on_transfer;

 private:
  bool ForThisDevice(std::int16_t addr, std::uint8_t cmd) const;
  // The status of a fault rule that matches this call (nth counts bus transfers only).
  std::optional<Status> Injected(AdapterMethod method, int cmd);
  Status Begin(AdapterMethod method, std::int16_t addr, std::uint8_t cmd);
  void Log(AdapterMethod method, std::int16_t addr, int cmd, std::vector<std::uint8_t> bytes,
           Status status, std::int32_t ms = 0);

  Status ReadWord(std::uint8_t cmd, std::int16_t addr, std::uint16_t& word);
  Status WriteWord(std::uint8_t cmd, std::uint16_t word);
  Status ReadWordAs(AdapterMethod method, std::uint8_t cmd, std::int16_t addr, std::uint16_t& word);
  Status WriteWordAs(AdapterMethod method, std::uint8_t cmd, std::uint16_t word, std::int16_t addr);

  Platform& platform_;
  std::vector<Transfer> log_;
  std::int64_t transfers_ = 0;
  Status last_status_ = 0;
  int short_block_ = -1;
  bool delay_processes_events_ = false;
  int selected_subclass_ = -1;
};

}  // namespace vx::sim
