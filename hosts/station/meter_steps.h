// References taken from a bench meter instead of typed, one probe position at a time: where the
// probes go in the page's words, the readings as they come while they settle, and the settled
// value typed into the page's box as a user would type it, with the meter's readings kept for
// the run's record. A step that fails says why until the user acts again; a reference the meter
// cannot give is skipped, for the user to type. Nothing reaches the device here.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hosts/station/references.h"
#include "hosts/station/station.h"
#include "instruments/meter.h"

namespace vx {

struct MeterSettings {
  std::string address;                      // libsigrok driver and options
  std::chrono::milliseconds timeout{5000};  // the longest wait for the meter: opening, a reading
  int window = 5;                           // readings that must agree
  double tolerance = 0;  // how closely, in the page's unit; 0: the reference's default
  std::string fixture;   // a program that puts the probes at each position; "": a person
  std::chrono::seconds fixture_timeout{60};  // how long it may take, else it is killed
};

class MeterSteps {
 public:
  // Opens the meter for the references of these boxes, in the order the probes move. Throws
  // instruments::MeterError when it cannot be opened.
  MeterSteps(Station& station, const MeterSettings& m, std::vector<std::string> keys);
  const instruments::Identity& identity() const { return meter_->identity(); }
  bool finished() const { return at_ >= keys_.size(); }
  // The reference of the step, and where the probes go for it.
  const PageRow& row() const;
  std::string Position() const { return std::string(row().probe); }
  // Has the fixture put the probes at this step's position (nothing without a fixture). A
  // failure is kept in failure() and thrown as instruments::MeterError.
  void Place();
  // Starts taking the reference: what the meter said before is forgotten.
  void Take();
  // Leaves the reference to the user's typing and goes on to the next one.
  void Skip();

  struct Heard {
    std::optional<instruments::Reading> reading;  // what came, if anything
    std::size_t settling = 0;                     // readings taken for the reference so far
    std::optional<instruments::Settled> taken;    // the reference, once typed into its box
    double to_page_ms = 0;  // from the settled reading to the page's box holding it
  };
  // Listens for the next reading up to `wait` (0: takes only what has come). While a reference
  // is being taken, the reading settles into it; once settled it is typed into its box and the
  // next step begins. A failure (a reading in the wrong function, a silent or lost meter, a
  // value the box cannot take) ends the taking, is kept in failure() until Take or Skip, and is
  // thrown as instruments::MeterError.
  Heard Listen(std::chrono::milliseconds wait);
  const std::string& failure() const { return failure_; }
  bool taking() const { return settler_ != nullptr; }

 private:
  Station& station_;
  MeterSettings m_;
  std::unique_ptr<instruments::Meter> meter_;
  std::vector<std::string> keys_;
  std::size_t at_ = 0;
  std::unique_ptr<instruments::Settler> settler_;
  std::chrono::steady_clock::time_point heard_at_;
  std::string failure_;
};

}  // namespace vx
