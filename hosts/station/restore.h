// Restore: a record's "before" data flash written back to the device, as a recorded run of its
// own. A record is input from whoever can write the store: it is checked whole before anything
// reaches the device.
#pragma once

#include <string>
#include <vector>

#include "hosts/station/station.h"

namespace vx {

struct RestorePlan {
  std::int64_t record = 0;
  std::vector<records::Image> images;  // the blocks to bring back
  std::string refused;                 // why the record cannot be restored ("" when it can)
};
RestorePlan PlanRestore(const records::RunRecord& r);
// The question a host asks before it writes anything.
std::string RestoreQuestion(const records::RunRecord& r);

struct RestoreResult {
  RunResult run;
  bool verified = false;     // every block reads back as the record holds it
  std::vector<int> written;  // the subclasses written (those that differed)
};
// Writes the blocks that differ from the device's, reads them back, and records the restore.
RestoreResult Restore(Station& s, const RestorePlan& plan);

}  // namespace vx
