#include "config/err_codes.h"

#include <gtest/gtest.h>

namespace vx {

TEST(ErrorTexts, ListedCodesHaveTheirOwnText) {
  EXPECT_EQ(GetErrorText(0), "Communication OK");
  EXPECT_EQ(GetErrorText(2), "No USB: VB_NO_USB");
  EXPECT_EQ(GetErrorText(5), "VB_WRONG_NUM_BYTES");
  EXPECT_EQ(GetErrorText(12), "VB_KD52LNK_OCX_INTERNAL_ERROR");
  EXPECT_EQ(GetErrorText(94), "VB_BUS_BUSY");
  EXPECT_EQ(GetErrorText(100), "Unknown error: VB_UNKNOWN");
  EXPECT_EQ(GetErrorText(236), "VB_BCFG_DEV_MISMATCH");
  EXPECT_EQ(GetErrorText(772), "No Acknowledge: VB_T2H_NACK");
  EXPECT_EQ(GetErrorText(1284), "VB_SMB_LOCKED");
  EXPECT_EQ(GetErrorText(5043), "VB_ERR_USB_ACQUIRE");
}

TEST(ErrorTexts, EveryOtherCodeIsShownInDecimal) {
  EXPECT_EQ(GetErrorText(4), "Error Code (decimal) 4");
  EXPECT_EQ(GetErrorText(101), "Error Code (decimal) 101");
  EXPECT_EQ(GetErrorText(230), "Error Code (decimal) 230");
  EXPECT_EQ(GetErrorText(-1), "Error Code (decimal) -1");
  EXPECT_EQ(GetErrorText(5024), "Error Code (decimal) 5024");
  EXPECT_EQ(GetErrorText(0x104 + 1), "Error Code (decimal) 261");
  EXPECT_EQ(GetErrorText(INT32_MIN), "Error Code (decimal) -2147483648");
}

}  // namespace vx
