// A small, fast, seeded generator (splitmix64) for the simulated line: the same draws for the
// same seed and stream, in any order, on any machine.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

namespace vx::sim {

class Random {
 public:
  Random(std::uint64_t seed, std::uint64_t stream)
      : s_(seed * 0x9E3779B97F4A7C15ULL ^ (stream + 1)) {
    Next();
  }
  std::uint64_t Next() {
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  double Normal(double sd) {  // Box-Muller
    const double u = Uniform(), v = Uniform();
    return sd * std::sqrt(-2 * std::log(u > 0 ? u : 1e-300)) * std::cos(2 * std::numbers::pi * v);
  }

 private:
  std::uint64_t s_;
};

}  // namespace vx::sim
