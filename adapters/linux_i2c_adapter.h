// The adapter over a real SMBus: Linux i2c-dev (/dev/i2c-N) through libi2c.
#pragma once

#include <cerrno>
#include <memory>
#include <string>

#include "device/smbus_adapter.h"
#include "platform/platform.h"

namespace vx {

// Adapter status for an errno of the i2c-dev interface (see docs/i2c-dev.md).
Status StatusFromErrno(int err);

// The node of a bus as users name it: "7" is /dev/i2c-7, anything else a path as it stands.
std::string NodePath(const std::string& bus);

class LinuxI2cAdapter : public SMBusAdapter {
 public:
  // device: "/dev/i2c-N" or the bus number N. address7: the device's 7-bit address, used when a
  // call's address does not name another device. Returns nullptr with a message in error when
  // the node is missing, access is denied, or the bus cannot do SMBus block transfers.
  static std::unique_ptr<LinuxI2cAdapter> Open(const std::string& device, int address7, bool pec,
                                               Platform& platform, std::string& error);
  ~LinuxI2cAdapter() override;
  LinuxI2cAdapter(const LinuxI2cAdapter&) = delete;
  LinuxI2cAdapter& operator=(const LinuxI2cAdapter&) = delete;

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
  Status CheckForError() override { return last_; }
  Status Delay(std::int32_t ms) override;

  // Addresses on the page are 8-bit (write) addresses as the host gives them: the 7-bit device
  // address is addr >> 1, so 0x16 and the register address 0x17 both reach device 0x0B.
  static int SevenBit(std::int16_t addr) { return (addr >> 1) & 0x7F; }
  const std::string& path() const { return path_; }

 private:
  LinuxI2cAdapter(int fd, std::string path, int address7, bool pec, Platform& platform);
  Status Select(std::int16_t addr);
  Status Done(long result);
  Status ReadWord(std::uint8_t cmd, std::int16_t addr, std::uint16_t& word);
  Status WriteWord(std::uint8_t cmd, std::uint16_t word, std::int16_t addr);

  int fd_;
  std::string path_;
  int address7_;
  int selected_ = -1;
  bool pec_;
  Platform& platform_;
  Status last_ = 0;
};

}  // namespace vx
