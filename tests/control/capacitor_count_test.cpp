#include "runs/capacitor_count.h"
#include "page_fixture.h"

namespace vx::testing {

// The low three bits plus one; 1 and 8 are reported (setup panel tests) and kept, but not
// shown. A failed select or an empty block fall back to five, with their own message.
TEST_F(PageTest, CapacitorCountFromOperationCfg) {
  ShowFresh();
  // clang-format off
  const std::tuple<int, int, std::int32_t, int, const char*> kCases[] = {
      {0x03, -1, 0, 4, "4"}, {0xFC, -1, 0, 5, "5"}, {0x07, -1, 1, 8, "5"}, {0x02, 0, 0, 5, "5"},
      {0x02, -2, 0, 5, "5"}};
  // clang-format on
  for (auto [byte, shortened, result, count, shown] : kCases) {
    dev().state().dataflash[64][0] = static_cast<std::uint8_t>(byte);
    dev().SetShortBlock(std::max(shortened, -1));
    if (shortened == -2) dev().AddFault({0, 0x77, "", 772, 1});
    platform().TakeMessages();
    EXPECT_EQ(cal->ReadNumberofConfiguredCapacitors(), result) << byte;
    EXPECT_EQ(cal->Fields().nCapCount, count);
    EXPECT_EQ(Text("txtCellCount"), shown);
    EXPECT_EQ(platform().messages().size(), count == 4 ? 0u : byte == 0xFC ? 0u : 1u);
    if (shortened != -1) {
      EXPECT_EQ(platform().messages().back().caption, "Supercapacitor Calibration");
    }
  }
}

}  // namespace vx::testing
