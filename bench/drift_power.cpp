// How well the line statistics' watch finds a station that calibrates differently, measured on
// seeded simulated lines of eight stations (bench/sim_line): on clean lines, how often it flags
// a station anyway; on lines where one station's meter starts to read off by BIAS after
// 2,000 units, how many of that station's units it takes to flag it.
//   drift_power [LINES] [UNITS] [BIAS] [READING_H] [METER_H] [WARM_UP]
// defaults: 100 lines, 10,000 units a clean line, 0.01 (1 %), and the watch's own limits.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/sim_line.h"
#include "hosts/analytics/line_stats.h"

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 100;
  const std::int64_t units = argc > 2 ? std::atoll(argv[2]) : 10000;
  const double bias = argc > 3 ? std::atof(argv[3]) : 0.01;
  vx::WatchSettings w;
  if (argc > 4) w.reading_h = std::atof(argv[4]);
  if (argc > 5) w.meter_h = std::atof(argv[5]);
  if (argc > 6) w.warm_up = std::atof(argv[6]);
  constexpr std::int64_t kBiasFrom = 2000;

  std::int64_t clean_units = 0, false_flags = 0, other_units = 0, other_flags = 0;
  std::vector<std::int64_t> to_detect;
  int missed = 0;
  for (int seed = 1; seed <= lines; ++seed) {
    vx::sim::LineSpec clean;
    clean.seed = static_cast<std::uint64_t>(seed);
    vx::LineStats c(vx::GroupBy::kStation, {}, w);
    for (std::int64_t i = 0; i < units; ++i) {
      auto s = vx::records::SummaryOf(vx::sim::LineRecord(clean, i));
      s.id = i + 1;
      c.Add(s);
    }
    clean_units += units;
    false_flags += static_cast<std::int64_t>(c.Flags().size());
    for (const auto& f : c.Flags())
      std::fprintf(stderr, "clean line %d: %s %s %+.3f from record %lld, flagged at %lld\n", seed,
                   f.group.c_str(), f.reading.c_str(), f.difference,
                   static_cast<long long>(f.first_id), static_cast<long long>(f.flagged_id));

    vx::sim::LineSpec biased = clean;
    biased.seed = static_cast<std::uint64_t>(seed) + 1000000;
    biased.biased_station = 1 + seed % biased.stations;
    biased.bias = seed % 2 ? bias : -bias;
    biased.biased_from = kBiasFrom;
    const std::string station = "st" + std::to_string(biased.biased_station);
    vx::LineStats b(vx::GroupBy::kStation, {}, w);
    std::int64_t seen = 0;  // the biased station's calibrated units since its bias began
    bool found = false;
    std::int64_t i = 0;
    for (; i < kBiasFrom + 400 * biased.stations && !found; ++i) {
      auto s = vx::records::SummaryOf(vx::sim::LineRecord(biased, i));
      s.id = i + 1;
      b.Add(s);
      if (i >= kBiasFrom && s.station == station && vx::Calibrated(s)) ++seen;
      for (const auto& f : b.Flags())
        found = found || f.group == station;
    }
    for (const auto& f : b.Flags())
      other_flags += f.group != station;
    other_units += i * (biased.stations - 1) / biased.stations;
    if (found) {
      to_detect.push_back(seen);
    } else {
      ++missed;
    }
  }
  std::sort(to_detect.begin(), to_detect.end());
  auto at = [&](double q) {
    return to_detect.empty()
               ? -1
               : to_detect[static_cast<std::size_t>(q * static_cast<double>(to_detect.size() - 1))];
  };
  const auto within20 =
      std::count_if(to_detect.begin(), to_detect.end(), [](std::int64_t n) { return n <= 20; });
  std::printf("watch: reading k %.2f h %.1f, meter k %.2f h %.1f, warm-up %.0f\n", w.reading_k,
              w.reading_h, w.meter_k, w.meter_h, w.warm_up);
  std::printf("clean lines: %d x %lld units, %lld false flags (%.3f per 10,000 units)\n", lines,
              static_cast<long long>(units), static_cast<long long>(false_flags),
              1e4 * static_cast<double>(false_flags) / static_cast<double>(clean_units));
  std::printf(
      "biased lines (%+.1f %% / %+.1f %%): found %zu of %d; units to detection median %lld, "
      "90th percentile %lld, most %lld; within 20 units: %ld of %d\n",
      bias * 100, -bias * 100, to_detect.size(), lines, static_cast<long long>(at(0.5)),
      static_cast<long long>(at(0.9)),
      static_cast<long long>(to_detect.empty() ? -1 : to_detect.back()), within20, lines);
  std::printf("other stations on the biased lines: %lld flags in %lld units\n",
              static_cast<long long>(other_flags), static_cast<long long>(other_units));
  return missed == 0 ? 0 : 1;
}
