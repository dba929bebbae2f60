#include "platform/virtual_platform.h"

#include "platform/console_platform.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace vx {

// The command line's waits come in slices (for a live progress display) that add up to exactly
// the wait asked for.
TEST(ConsolePlatform, WaitsInSlicesEndOnTime) {
  ConsolePlatform p(/*virtual_time=*/true);
  int slices = 0;
  p.idle = [&] { ++slices; };
  for (auto d : {250ms, 1200ms}) {
    const TimePoint start = p.Now();
    p.Sleep(d);
    EXPECT_EQ(p.Now() - start, d);
  }
  EXPECT_EQ(slices, 4);  // 250; 500, 500, 200
}

}  // namespace vx
