#include "form/form_model.h"

#include <gtest/gtest.h>

namespace vx {

class FormModelTest : public ::testing::Test {
 protected:
  FormModel f;
  int clicks = 0;
  void SetUp() override {
    f.Add({"Frame1", 1, Kind::kFrame, "", {0, 0, 100, 100}, ""});
    f.Add({"btn", -1, Kind::kCommandButton, "&Go", {0, 0, 10, 10}, "Frame1(1)"});
    f.Add({"chk", -1, Kind::kCheckBox, "Tick", {0, 0, 10, 10}, "Frame1(1)"});
    f.Add({"opt", 0, Kind::kOptionButton, "A", {0, 0, 10, 10}, "Frame1(1)", true, true, 1});
    f.Add({"opt", 1, Kind::kOptionButton, "B", {0, 0, 10, 10}, "Frame1(1)"});
    f.Add({"txt", -1, Kind::kTextBox, "12", {0, 0, 10, 10}, "Frame1(1)"}).max_length = 2;
    f.Add({"tmr", -1, Kind::kTimer, "", {}, ""});
    f.SetHandler("btn", [&] { ++clicks; });
  }
};

TEST_F(FormModelTest, DisabledOrHiddenFrameBlocksItsChildrenWithoutChangingTheirFlags) {
  Control& frame = f.At("Frame1", 1);
  Control& btn = f.At("btn");
  frame.SetEnabled(false);
  EXPECT_TRUE(btn.enabled());
  EXPECT_FALSE(f.EffectiveEnabled(btn));
  EXPECT_FALSE(f.Click("btn"));
  EXPECT_EQ(clicks, 0);
  frame.SetEnabled(true);
  frame.SetVisible(false);
  EXPECT_TRUE(btn.visible());
  EXPECT_FALSE(f.EffectiveVisible(btn));
  EXPECT_FALSE(f.Click("btn"));
  frame.SetVisible(true);
  EXPECT_TRUE(f.Click("btn"));
  EXPECT_EQ(clicks, 1);
}

// Check boxes toggle, options select within their group, typing respects the maximum length
// and the enabled state (text set by the code is not cut).
TEST_F(FormModelTest, ClicksAndTyping) {
  EXPECT_TRUE(f.Click("chk"));
  EXPECT_TRUE(f.Click("chk"));
  EXPECT_EQ(f.At("chk").value(), 0);
  EXPECT_TRUE(f.Click("opt(1)"));
  EXPECT_EQ(f.At("opt", 0).value(), 0);
  EXPECT_EQ(f.At("opt", 1).value(), 1);
  EXPECT_FALSE(f.Click("txt"));
  EXPECT_FALSE(f.Click("nothing"));
  EXPECT_FALSE(f.Type("chk", "1"));
  EXPECT_TRUE(f.Type("txt", "12345"));
  EXPECT_EQ(f.At("txt").text(), "12");
  f.At("txt").max_length = 0;  // no limit
  EXPECT_TRUE(f.Type("txt", "12345"));
  EXPECT_EQ(f.At("txt").text(), "12345");
  f.At("txt").locked = true;
  EXPECT_FALSE(f.Type("txt", "9"));
  f.At("txt").locked = false;
  f.At("txt").SetEnabled(false);
  EXPECT_FALSE(f.Type("txt", "9"));
  f.At("txt").SetText("programmatic text is not cut");
  EXPECT_EQ(f.At("txt").text(), "programmatic text is not cut");
}

TEST_F(FormModelTest, UnknownControlsAndDuplicatesAreRejected) {
  EXPECT_THROW(f.At("nope"), std::out_of_range);
  EXPECT_THROW(f.Add({"btn", -1, Kind::kLabel, "", {}, ""}), std::logic_error);
  EXPECT_THROW(f.Add({"x", -1, Kind::kLabel, "", {}, "missing"}), std::logic_error);
}

}  // namespace vx
