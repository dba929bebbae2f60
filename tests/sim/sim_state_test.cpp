#include "sim/sim_state.h"

#include <gtest/gtest.h>

#include "test_files.h"

namespace vx::sim {

TEST(SimState, JsonRoundTripKeepsEverything) {
  SimState s = MiscalibratedState(3);
  s.truth.current_mA = -1234.5;
  s.cal.word71 = -42;
  s.fets_on = true;
  s.dataflash[7] = DataFlashBlock{1, 2, 3};
  SimState t = FromJson(ToJson(s));
  EXPECT_EQ(ToJson(t), ToJson(s));
  EXPECT_EQ(t.dataflash.at(104), s.dataflash.at(104));
  EXPECT_EQ(t.truth.current_mA, -1234.5);
  EXPECT_EQ(t.cal.word71, -42);
}

TEST(SimState, FilesRoundTripAndBadFilesFailWithAMessage) {
  testing::TempDir dir;
  std::string path = dir.path() + "/state.json";
  SaveStateFile(DefaultState(4), path);
  EXPECT_EQ(LoadStateFile(path).dataflash.at(64)[0], 3);
  EXPECT_THROW(LoadStateFile(dir.path() + "/missing.json"), std::runtime_error);
  for (const char* bad :
       {"", "[1]", "{\"dataflash\": {\"x\": [1]}}", "{\"dataflash\": {\"300\": [1]}}",
        "{\"dataflash\": {\"1\": [256]}}", "{\"truth\": {\"cell_mV\": \"a\"}}",
        "{\"nominal_gain\": {\"cell\": 0}}", "{\"calibration\": {\"temperature_sensor\": 5}}"}) {
    EXPECT_THROW(FromJson(bad), std::runtime_error) << bad;
  }
}

TEST(SimState, PartialStateTakesDefaultsForTheRest) {
  SimState s = FromJson("{\"truth\": {\"system_mV\": 5000}}");
  EXPECT_EQ(s.truth.system_mV, 5000);
  EXPECT_EQ(s.address, 0x16);
  EXPECT_TRUE(s.dataflash.empty());
}

}  // namespace vx::sim
