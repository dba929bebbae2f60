// How code that waits on something outside the program (a meter, a database, a lock, a child
// program) waits: in short slices, each ending with the program's `pause`, until its own limit
// or until the program is asked to stop. The hosts set both once: a window keeps its events
// going in `pause`, a console program sleeps; `stops` counts the stops asked for so far.
//
// A wait ends on a stop that comes while it waits (Mark() when it begins): a stop that came
// before, and that the program is already acting on, does not cut short the waits of its
// clean-up (a run's record stored after a Ctrl-C).
#pragma once

#include <chrono>
#include <functional>

#include "platform/platform.h"

namespace vx {

struct OutsideWait {
  std::function<int()> stops;
  std::function<void(Duration)> pause;

  int Mark() const { return stops ? stops() : 0; }
  bool StoppedSince(int mark) const { return stops && stops() > mark; }
  // Waits until `done` says so, the deadline passes or a stop is asked for meanwhile, in slices
  // of at most 100 ms; returns whether `done` said so.
  bool Until(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline);
};

// The program's.
OutsideWait& Outside();

}  // namespace vx
