// A bench meter driven by libsigrok: any multimeter it has a driver for, chosen by the driver
// and its options as libsigrok users write them ("scpi-dmm:conn=tcp-raw/192.0.2.5/5025",
// "uni-t-ut61e:conn=1a86.e008"). The meter runs continuously in a thread of its own; readings
// wait in a queue for whoever takes the next one.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "instruments/reading.h"
#include "records/record.h"

namespace vx::instruments {

struct Identity {
  std::string address;  // as given
  std::string driver, vendor, model, serial, version;
  records::Json ToJson() const;
};

class Meter {
 public:
  // Finds and opens the meter; throws MeterError saying why it could not.
  static std::unique_ptr<Meter> Open(const std::string& address);
  virtual ~Meter() = default;
  virtual const Identity& identity() const = 0;
  // The next reading, waiting at most `timeout`; MeterError when none comes or the meter
  // has gone (unplugged, connection dropped).
  virtual Reading Next(std::chrono::milliseconds timeout) = 0;
  // A reading if one has come, without waiting; MeterError when the meter has gone.
  virtual std::optional<Reading> Poll() = 0;
  // Forgets the readings taken so far and the one on its way (the probes are being moved).
  virtual void Discard() = 0;
};

}  // namespace vx::instruments
