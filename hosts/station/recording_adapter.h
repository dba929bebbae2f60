// An adapter that passes every call on to the device's and tells its listeners what went over
// the bus. The hosts see a run only through it (and the page): the trace, the progress display
// and the account of what a run changed on the device all listen here.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/smbus_adapter.h"
#include "platform/platform.h"

namespace vx {

struct BusEvent {
  AdapterMethod method = AdapterMethod::kReadSMBusWord;
  int addr = -1;  // -1: CheckForError and Delay
  int cmd = -1;
  std::vector<std::uint8_t> bytes;  // words high byte first; blocks as read or written
  Status status = 0;
  std::int32_t ms = -1;  // Delay only
  TimePoint start{0};
  bool threw = false;  // the call ended with an exception (the host interrupted a wait)
};

class RecordingAdapter : public SMBusAdapter {
 public:
  // stop: the program's request to stop. Asked for before a write, it is raised (Interrupted)
  // instead of the write, as at the end of a wait: no new write starts once a stop is asked
  // for, and the clean-up's writes after it go through.
  RecordingAdapter(std::shared_ptr<SMBusAdapter> inner, Platform& platform,
                   InterruptRequest* stop = nullptr)
      : inner_(std::move(inner)), platform_(platform), stop_(stop) {}

  using Listener = std::function<void(const BusEvent&)>;
  void Listen(Listener l) { listeners_.push_back(std::move(l)); }
  SMBusAdapter& inner() { return *inner_; }

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

 private:
  // Runs the call and tells the listeners, also when the call throws.
  template <typename Call, typename Bytes>
  Status Pass(AdapterMethod method, int addr, int cmd, Call&& call, Bytes&& bytes,
              std::int32_t ms = -1);

  std::shared_ptr<SMBusAdapter> inner_;
  Platform& platform_;
  InterruptRequest* stop_;
  std::vector<Listener> listeners_;
};

// What a run did to the device, in the words a user reads: kept up to date from the bus.
class DeviceAccount {
 public:
  void Note(const BusEvent& e);

  // Words for the step the device is in now ("device calibrating", "writing data flash").
  const std::string& activity() const { return activity_; }
  // Counting starts again (a run begins); the device's state (mode, FETs) is kept.
  void Restart() {
    dataflash_writes_ = stores_ = writes_ = changes_ = failures_ = 0;
    ever_in_mode_ = in_mode_;
  }
  int dataflash_writes() const { return dataflash_writes_; }
  int failed_transfers() const { return failures_; }
  int stores() const { return stores_; }
  bool wrote() const { return writes_ > 0; }  // anything written to the device
  // Anything written that changes the device: all but the selection of a data flash subclass
  // to read.
  bool changed() const { return changes_ > 0; }
  // Known from the last signature read or entry/exit command.
  bool in_calibration_mode() const { return in_mode_; }
  bool ever_in_calibration_mode() const { return ever_in_mode_; }
  int fets() const { return fets_; }  // -1 unknown, 0 off, 1 on
  // One sentence: what was written, what the device stored, and how the device was left.
  std::string Summary() const;

 private:
  std::string activity_;
  int dataflash_writes_ = 0;
  int stores_ = 0;
  int writes_ = 0;
  int changes_ = 0;
  int failures_ = 0;
  bool in_mode_ = false;
  bool ever_in_mode_ = false;
  int fets_ = -1;
};

}  // namespace vx
