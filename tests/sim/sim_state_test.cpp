#include "sim/sim_state.h"

#include <gtest/gtest.h>

#include "test_files.h"

namespace vx::sim {

TEST(SimState, MissingFieldsKeepTheBuiltInDeviceAndWrongOnesAreNamed) {
  EXPECT_EQ(ToJson(FromJson("{}")), ToJson(DefaultState()));
  SimState s = FromJson(R"({"truth": {"system_mV": 5000}, "dataflash": {"64": [1]},
                            "faults": [{"command": 9, "status": 5, "call": 2}]})");
  EXPECT_EQ(s.truth.system_mV, 5000);
  EXPECT_EQ(s.truth.cell_mV[4], 2095);                               // kept
  EXPECT_EQ(s.dataflash.at(104), DefaultState().dataflash.at(104));  // kept
  EXPECT_EQ(s.dataflash.at(64)[0], 1);
  ASSERT_EQ(s.faults.size(), 1u);
  EXPECT_EQ(s.faults[0].call, 2);
  for (auto [text, field] : std::vector<std::pair<const char*, const char*>>{
           {R"({"truth": {"sytem_mV": 1}})", "truth.sytem_mV is not a field"},
           {R"({"address": 300})", "address is outside 0 to 255"},
           {R"({"faults": [{"status": "x"}]})", "faults[0].status must be a number"},
           {R"({"truth": {"cell_mV": [1, 2]}})", "truth.cell_mV must be a list of 5"}}) {
    try {
      FromJson(text);
      ADD_FAILURE() << text;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(field), std::string::npos) << e.what();
    }
  }
  // Whatever a calibration stored (a sign error, 0, far off), the state saved loads again.
  s.cal.cc_gain = -1.04e12;
  s.cal.pack_gain = 0;
  s.cal.temp_offset_dK = {6553.5, -3000, 0};
  EXPECT_EQ(ToJson(FromJson(ToJson(s))), ToJson(s));
}

}  // namespace vx::sim
