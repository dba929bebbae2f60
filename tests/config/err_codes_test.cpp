#include "config/err_codes.h"

#include <gtest/gtest.h>

namespace vx {

// Listed codes have their own text; every other code is shown in decimal.
TEST(ErrorTexts, ListedAndOtherCodes) {
  // clang-format off
  const std::pair<std::int32_t, const char*> kCases[] = {
      {0, "Communication OK"}, {2, "No USB: VB_NO_USB"}, {5, "VB_WRONG_NUM_BYTES"},
      {12, "VB_KD52LNK_OCX_INTERNAL_ERROR"}, {94, "VB_BUS_BUSY"},
      {100, "Unknown error: VB_UNKNOWN"}, {236, "VB_BCFG_DEV_MISMATCH"},
      {772, "No Acknowledge: VB_T2H_NACK"}, {1284, "VB_SMB_LOCKED"},
      {5043, "VB_ERR_USB_ACQUIRE"}, {4, "Error Code (decimal) 4"},
      {101, "Error Code (decimal) 101"}, {230, "Error Code (decimal) 230"},
      {-1, "Error Code (decimal) -1"}, {5024, "Error Code (decimal) 5024"},
      {261, "Error Code (decimal) 261"}, {INT32_MIN, "Error Code (decimal) -2147483648"}};
  // clang-format on
  for (auto [code, text] : kCases)
    EXPECT_EQ(GetErrorText(code), text);
}

}  // namespace vx
