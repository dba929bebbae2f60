#include "adapters/linux_i2c_adapter.h"

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

extern "C" {
#include <i2c/smbus.h>
}

#include "device/numeric.h"

namespace vx {

Status StatusFromErrno(int err) {
  switch (err) {
    case 0:
      return 0;
    case ENXIO:
    case EREMOTEIO:
    case EIO:
      return kStatusNack;
    case ETIMEDOUT:
      return 92;
    case EBUSY:
    case EAGAIN:
      return 94;
    case EBADMSG:
      return 3;
    case EPROTO:
      return 5;
    case ENOENT:
    case ENODEV:
      return 2;
    default:
      return 100;
  }
}

std::string NodePath(const std::string& bus) {
  const bool number = !bus.empty() && std::all_of(bus.begin(), bus.end(),
                                                  [](char c) { return c >= '0' && c <= '9'; });
  return number ? "/dev/i2c-" + bus : bus;
}

std::unique_ptr<LinuxI2cAdapter> LinuxI2cAdapter::Open(const std::string& device, int address7,
                                                       bool pec, Platform& platform,
                                                       std::string& error) {
  const std::string path = NodePath(device);
  if (address7 < 0x03 || address7 > 0x77) {
    error = "address " + std::to_string(address7) + " is not a 7-bit device address (0x03..0x77)";
    return nullptr;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    int e = errno;
    if (e == ENOENT) {
      error = path + " does not exist: is the i2c-dev module loaded (modprobe i2c-dev)?";
    } else if (e == EACCES || e == EPERM) {
      error = "no permission to open " + path + ": add the user to the i2c group or run as root";
    } else {
      error = "cannot open " + path + ": " + std::strerror(e);
    }
    return nullptr;
  }
  unsigned long funcs = 0;
  if (::ioctl(fd, I2C_FUNCS, &funcs) < 0) {
    error = path + " is not an i2c-dev node: " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  const unsigned long needed = I2C_FUNC_SMBUS_READ_WORD_DATA | I2C_FUNC_SMBUS_WRITE_WORD_DATA |
                               I2C_FUNC_SMBUS_READ_BLOCK_DATA | I2C_FUNC_SMBUS_WRITE_BLOCK_DATA |
                               I2C_FUNC_SMBUS_WRITE_BYTE;
  if ((funcs & needed) != needed) {
    error = "the bus behind " + path +
            " cannot do SMBus word, block and send-byte transfers, which the device needs";
    ::close(fd);
    return nullptr;
  }
  if (pec && !(funcs & I2C_FUNC_SMBUS_PEC)) {
    error = "the bus behind " + path + " has no packet error checking (PEC)";
    ::close(fd);
    return nullptr;
  }
  std::unique_ptr<LinuxI2cAdapter> a(new LinuxI2cAdapter(fd, path, address7, pec, platform));
  Status s = a->Select(static_cast<std::int16_t>(address7 << 1));
  if (s != 0) {
    error = "cannot address device " + Hex2(static_cast<unsigned>(address7)) + " on " + path;
    return nullptr;
  }
  return a;
}

LinuxI2cAdapter::LinuxI2cAdapter(int fd, std::string path, int address7, bool pec,
                                 Platform& platform)
    : fd_(fd), path_(std::move(path)), address7_(address7), pec_(pec), platform_(platform) {}

LinuxI2cAdapter::~LinuxI2cAdapter() {
  if (fd_ >= 0) ::close(fd_);
}

Status LinuxI2cAdapter::Select(std::int16_t addr) {
  int a = SevenBit(addr);
  if (a == selected_) return 0;
  if (::ioctl(fd_, I2C_SLAVE, static_cast<unsigned long>(a)) < 0) {
    return last_ = StatusFromErrno(errno);
  }
  if (::ioctl(fd_, I2C_PEC, pec_ ? 1UL : 0UL) < 0) return last_ = StatusFromErrno(errno);
  selected_ = a;
  return 0;
}

Status LinuxI2cAdapter::Done(long result) {
  last_ = result < 0 ? StatusFromErrno(static_cast<int>(-result)) : 0;
  return last_;
}

Status LinuxI2cAdapter::ReadWord(std::uint8_t cmd, std::int16_t addr, std::uint16_t& word) {
  word = 0;
  if (Status s = Select(addr); s != 0) return s;
  __s32 r = i2c_smbus_read_word_data(fd_, cmd);
  if (r >= 0) word = static_cast<std::uint16_t>(r);  // SMBus words travel low byte first
  return Done(r);
}

Status LinuxI2cAdapter::WriteWord(std::uint8_t cmd, std::uint16_t word, std::int16_t addr) {
  if (Status s = Select(addr); s != 0) return s;
  return Done(i2c_smbus_write_word_data(fd_, cmd, word));
}

Status LinuxI2cAdapter::ReadSMBusWord(std::uint8_t cmd, std::uint8_t& hi, std::uint8_t& lo,
                                      std::int16_t addr) {
  std::uint16_t w = 0;
  Status s = ReadWord(cmd, addr, w);
  hi = static_cast<std::uint8_t>(w >> 8);
  lo = static_cast<std::uint8_t>(w & 0xFF);
  return s;
}

Status LinuxI2cAdapter::ReadSMBusWord_(std::uint8_t cmd, std::int16_t& value, std::int16_t addr) {
  std::uint16_t w = 0;
  Status s = ReadWord(cmd, addr, w);
  value = static_cast<std::int16_t>(w);
  return s;
}

Status LinuxI2cAdapter::WriteSMBusWord(std::uint8_t cmd, std::uint8_t hi, std::uint8_t lo,
                                       std::int16_t addr) {
  return WriteWord(cmd, static_cast<std::uint16_t>(hi << 8 | lo), addr);
}

Status LinuxI2cAdapter::WriteSMBusWord_(std::uint8_t cmd, std::int16_t value, std::int16_t addr) {
  return WriteWord(cmd, static_cast<std::uint16_t>(value), addr);
}

Status LinuxI2cAdapter::ReadSMBusBlock_(std::uint8_t cmd, std::span<std::uint8_t> data,
                                        std::int16_t& length, std::int16_t addr) {
  length = 0;
  if (Status s = Select(addr); s != 0) return s;
  std::uint8_t buf[I2C_SMBUS_BLOCK_MAX] = {};
  __s32 r = i2c_smbus_read_block_data(fd_, cmd, buf);
  if (r < 0) return Done(r);
  auto n = std::min<std::size_t>({static_cast<std::size_t>(r), data.size(), sizeof buf});
  std::copy(buf, buf + n, data.begin());
  length = static_cast<std::int16_t>(n);
  return Done(0);
}

Status LinuxI2cAdapter::WriteSMBusBlock(std::uint8_t cmd, std::span<const std::uint8_t> data,
                                        std::int16_t length, std::int16_t addr) {
  if (length < 0 || length > I2C_SMBUS_BLOCK_MAX ||
      static_cast<std::size_t>(length) > data.size()) {
    return last_ = kStatusWrongNumBytes;
  }
  if (Status s = Select(addr); s != 0) return s;
  return Done(i2c_smbus_write_block_data(fd_, cmd, static_cast<__u8>(length), data.data()));
}

Status LinuxI2cAdapter::WriteSMBusCommand(std::uint8_t cmd, std::int16_t addr) {
  if (Status s = Select(addr); s != 0) return s;
  return Done(i2c_smbus_write_byte(fd_, cmd));
}

Status LinuxI2cAdapter::Delay(std::int32_t ms) {
  platform_.Sleep(std::chrono::milliseconds(std::max(ms, 0)));
  return 0;
}

}  // namespace vx
