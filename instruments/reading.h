// A bench meter's reading, and how a reference is taken from a stream of them: only once it
// has settled, in the function the reference needs, converted to the page's unit.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vx::instruments {

// A meter that cannot give the reference: gone, silent, set wrong, never settling.
class MeterError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Reading {
  double value = 0;      // in the meter's unit
  std::string quantity;  // as libsigrok names it, lower case: "voltage", "current", "temperature"
  std::string flags;     // "DC", "AC", ... ("" for none)
  std::string unit;      // "V", "A", "°C", ...
  bool overload = false;
  // The meter's own words for what it measures: "AC voltage", "resistance".
  std::string Words() const { return flags.empty() ? quantity : flags + " " + quantity; }
  // "12.2553 V (DC voltage)", "(overload)" when the meter says so.
  std::string Text() const;
};

// What a reference needs of the meter, and how its reading becomes the page's number.
struct Expect {
  std::string quantity;  // "voltage"
  std::string flag;      // "DC", or "" when any will do
  std::string unit;      // the meter's unit: "V"
  double scale = 1;      // meter unit to the page's: 1000 for V to mV
  int decimals = 0;      // digits after the point in the page's box
  double abs_tol = 0;    // settled: the readings lie within the larger of these two,
  double rel_tol = 0;    // in the page's unit and as a share of the value
  std::string Words() const { return flag.empty() ? quantity : flag + " " + quantity; }
};

struct Settled {
  double value = 0;              // the median of the settled readings, in the page's unit
  double spread = 0;             // their largest minus their smallest
  std::vector<double> readings;  // every reading taken, in the page's unit
  std::string text;              // the value as it is typed into the page's box
};

// Takes readings one by one until the last `window` of them lie within the tolerance.
class Settler {
 public:
  explicit Settler(Expect e, int window = 5, int max_readings = 100)
      : e_(std::move(e)), window_(window), max_(max_readings) {}
  // The settled value once there is one. Throws MeterError for a reading in another function
  // than the reference needs, an overload, or when max_readings never settled.
  std::optional<Settled> Add(const Reading& r);
  const std::vector<double>& readings() const { return all_; }

 private:
  Expect e_;
  int window_, max_;
  std::vector<double> all_;
};

}  // namespace vx::instruments
