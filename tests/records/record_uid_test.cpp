// A record file from before uids gets its uid from what it holds, and a store that imported it
// with an earlier build must know it again: the uid of the same content never changes.
#include <gtest/gtest.h>

#include "records/record.h"

namespace vx::records {

TEST(RecordUid, TheSameContentKeepsItsUid) {
  RunRecord r;
  r.time_utc = "2026-03-01T10:00:00.000Z";
  r.station = "Prüfplatz 3";
  r.operator_name = "Zoë";
  r.unit = "U-µ1";
  r.run = "calibrate";
  r.outcome = "done";
  r.messages = {"Calibration complete."};
  const std::string uid = ContentUid(r);
  EXPECT_EQ(uid, "8d6fa1cb955d97f34e8c1acfb2929bf4");
  RunRecord stored = r;
  stored.id = 42;
  stored.uid = "0123456789abcdef0123456789abcdef";
  EXPECT_EQ(ContentUid(stored), uid);  // neither the store's id nor a uid counts
  r.operator_name = "Zoe";
  EXPECT_NE(ContentUid(r), uid);
}

}  // namespace vx::records
