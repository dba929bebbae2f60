// Restore: a record's "before" data flash written back to the device, as a recorded run of its
// own. A record is input from whoever can write the store or the file: it is checked whole
// before anything reaches the device, and the device must be the record's unit as that run
// left it, unless the user forces the restore knowing every difference.
#pragma once

#include <string>
#include <vector>

#include "hosts/station/station.h"

namespace vx {

// What a restore cannot undo, said with every restore.
inline constexpr const char kRestoreCannotUndo[] =
    "A restore brings back CalibrationData and Operation Cfg only; what the device calibrated "
    "and stored itself (temperature offsets, current gain, CC and board offsets, pack voltage "
    "gain) is not in the images and stays as it is.";

struct RestorePlan {
  records::RunRecord record;
  std::vector<records::Image> images;  // the blocks to bring back
  std::string refused;                 // why the record cannot be restored ("" when it can)
};
// Checks the record: each image one block of the size the device returns, of CalibrationData
// or Operation Cfg, hex, no subclass twice, gains and a capacitor count the device can hold.
RestorePlan PlanRestore(const records::RunRecord& r);
// The question a host asks before it writes anything.
std::string RestoreQuestion(const records::RunRecord& r);

// How the device differs from the record's unit as its run left it: another address, target
// info, unit or Operation Cfg (capacitor count), CalibrationData changed since (a later
// calibration would be undone), or a record whose run left nothing to compare with (it did not
// end). Empty when it is that unit, unchanged. Reads the device.
// unit: the unit the user named for this restore ("" for none).
std::vector<std::string> DeviceDifferences(Station& s, const records::RunRecord& r,
                                           const std::string& unit);

struct RestoreResult {
  RunResult run;
  bool verified = false;     // every block reads back as the record holds it
  std::vector<int> written;  // the subclasses written (those that differed)
};
// Writes the blocks that differ from the device's, reads them back, and records the restore;
// `forced`: the differences the user overrode, kept in the record. A stop asked for ends it
// before its next block.
RestoreResult Restore(Station& s, const RestorePlan& plan,
                      const std::vector<std::string>& forced = {});

}  // namespace vx
