#include "platform/virtual_platform.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace vx {

TEST(VirtualPlatform, TimeMovesOnlyWhenTheCodeWaitsOrSleeps) {
  VirtualPlatform p;
  EXPECT_EQ(p.Now(), 0ns);
  p.Yield();
  EXPECT_EQ(p.Now(), 0ns);
  p.Sleep(250ms);
  EXPECT_EQ(p.Now(), 250ms);
  p.ProcessEventsUntil(1s);
  EXPECT_EQ(p.Now(), 1s);
  ASSERT_EQ(p.waits().size(), 2u);
  EXPECT_EQ(p.waits()[0].kind, WaitRecord::kSleep);
  EXPECT_EQ(p.waits()[1].kind, WaitRecord::kYielding);
}

TEST(VirtualPlatform, ScheduledEventsRunDuringYieldingWaitsButNotDuringSleeps) {
  VirtualPlatform p;
  std::vector<int> ran;
  p.ScheduleAt(100ms, [&] { ran.push_back(1); });
  p.ScheduleAt(300ms, [&] { ran.push_back(3); });
  p.Sleep(200ms);
  EXPECT_TRUE(ran.empty());
  p.ProcessEventsUntil(250ms);  // wakes for the 100 ms event that is overdue
  EXPECT_EQ(ran, std::vector<int>{1});
  p.ProcessEventsUntil(1s);  // returns at the event, before the deadline
  EXPECT_EQ(p.Now(), 300ms);
  EXPECT_EQ(ran, (std::vector<int>{1, 3}));
}

TEST(VirtualPlatform, MessageBoxesAreRecordedAndAnsweredFromTheQueue) {
  VirtualPlatform p;
  p.QueueAnswer(Answer::kCancel);
  p.QueueAnswer(Answer::kCancel);
  // An OK-only box can only be answered OK, but it still takes its answer from the queue.
  EXPECT_EQ(p.MessageBox("a", "Calibration", Buttons::kOk), Answer::kOk);
  EXPECT_EQ(p.MessageBox("b", "", Buttons::kOkCancel), Answer::kCancel);
  EXPECT_EQ(p.MessageBox("c", "", Buttons::kOkCancel), Answer::kOk);
  ASSERT_EQ(p.messages().size(), 3u);
  EXPECT_EQ(p.messages()[0].caption, "Calibration");
  EXPECT_EQ(p.messages()[1].buttons, Buttons::kOkCancel);
}

}  // namespace vx
