#include "platform/virtual_platform.h"

#include "platform/console_platform.h"

#include <gtest/gtest.h>

#include <chrono>

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
  // Made without a word, it keeps real time.
  ConsolePlatform real;
  const auto start = std::chrono::steady_clock::now();
  real.Sleep(20ms);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
}

// An event runs in the wait that ends exactly at its time.
TEST(VirtualPlatform, AnEventDueWhereAWaitEndsRunsInIt) {
  VirtualPlatform p;
  bool ran = false;
  p.ScheduleAt(p.Now() + 600ms, [&] { ran = true; });
  p.ProcessEventsUntil(p.Now() + 600ms);
  EXPECT_TRUE(ran);
}

}  // namespace vx
