// A test double at the system-call boundary: open, ioctl and close of a fake /dev/i2c-N are
// answered with the kernel's i2c-dev semantics (I2C_SLAVE, I2C_FUNCS, I2C_PEC, I2C_SMBUS) by a
// device behind it; every other file goes to the real system calls.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/smbus_adapter.h"

namespace vx::testing {

struct FakeI2cNode {
  std::shared_ptr<SMBusAdapter> device;  // addressed with 8-bit addresses (7-bit << 1)
  unsigned long funcs = ~0UL;            // what I2C_FUNCS reports
  int open_errno = 0;                    // open() fails with this
  int next_errno = 0;                    // the next transaction fails with this
  int slave_errno = 0;                   // I2C_SLAVE fails with this (a driver holds it)
  bool corrupt_next_pec = false;         // the next transaction's PEC byte arrives damaged
  struct Transaction {
    int address7;
    bool read;
    int command;
    int size;                        // I2C_SMBUS_BYTE, _WORD_DATA, _BLOCK_DATA
    std::vector<std::uint8_t> wire;  // bytes as on the bus, after the address byte(s)
    int pec = -1;                    // the PEC byte when PEC is on
    int error = 0;                   // errno returned
  };
  std::vector<Transaction> log;
};

void InstallFakeI2c(const std::string& path, FakeI2cNode* node);
void RemoveFakeI2c(const std::string& path);

// SMBus packet error code: CRC-8, polynomial x^8 + x^2 + x + 1 (0x07), initial value 0.
std::uint8_t SmbusPec(const std::vector<std::uint8_t>& bytes);

}  // namespace vx::testing
