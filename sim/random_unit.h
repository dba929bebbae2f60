// A unit of a production line as the simulator models it: each unit differs from the next in its
// true values, its factory gains and its sensors' errors, drawn from a seed.
#pragma once

#include <cstdint>

#include "sim/sim_state.h"

namespace vx::sim {

// A unit of its own: true voltages, temperature and current, gains (about 1 % off nominal) and
// sensor errors drawn from the seed; the same for the same seed.
SimState RandomUnit(std::uint64_t seed, int capacitors = 5);

}  // namespace vx::sim
