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
#include "json/json.h"

namespace vx::instruments {

struct Identity {
  std::string address;  // as given
  std::string driver, vendor, model, serial, version;
  Json ToJson() const;
};

class Meter {
 public:
  // Finds, identifies and opens the meter within `limit`; throws MeterError saying why it could
  // not (also when nothing answered within the limit, or a stop was asked for meanwhile:
  // Outside()). A meter left unanswering is let go of without waiting for it.
  static std::unique_ptr<Meter> Open(const std::string& address,
                                     std::chrono::milliseconds limit = std::chrono::seconds(5));
  // Stops the meter; never waits more than about two seconds for a meter that does not answer.
  virtual ~Meter() = default;
  virtual const Identity& identity() const = 0;
  // The next reading, waiting at most `timeout`; MeterError when none comes, the meter has gone
  // (unplugged, connection dropped), or a stop is asked for meanwhile.
  virtual Reading Next(std::chrono::milliseconds timeout) = 0;
  // A reading if one has come, without waiting; MeterError when the meter has gone.
  virtual std::optional<Reading> Poll() = 0;
  // Forgets the readings taken so far and the one on its way (the probes are being moved).
  virtual void Discard() = 0;
};

// Whether a meter that did not answer was left behind in a thread of its own (it ends by itself
// once libsigrok gives up). A program ends then without running its static destructors under
// that thread (std::_Exit, after flushing what it wrote).
bool MeterLeftBehind();

}  // namespace vx::instruments
