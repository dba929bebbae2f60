// A simulated production line's records: units that differ from each other, stations whose
// meters may read off, a day's worth of runs after another. Each record is what a real run on
// such a unit would have stored, made in microseconds, so that stores of millions of records
// can be filled to measure them, and statistics tried on lines whose faults are known.
#pragma once

#include <cstdint>
#include <string>

#include "records/record.h"
#include "sim/random_unit.h"

namespace vx::sim {

struct LineSpec {
  std::uint64_t seed = 1;
  int stations = 8;          // "st1" ... "stN"
  int units_per_day = 2000;  // spread evenly over the day, the stations taking turns
  std::string first_day = "2026-01-01";
  int biased_station = 0;        // 1 ... stations; 0: every meter reads true
  double bias = 0;               // that station's meter error: 0.01 reads 1 % high
  std::int64_t biased_from = 0;  // the first record (index) the bias shows in
};

// Record i (from 0) of the line: the same for the same plan and i.
records::RunRecord LineRecord(const LineSpec& plan, std::int64_t i);

}  // namespace vx::sim
