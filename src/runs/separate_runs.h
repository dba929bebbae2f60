// The pack voltage run and the two board offset runs (their buttons sit in a frame the page
// does not offer, but they are fully wired).
#pragma once

#include <cstdint>
#include <string>

#include "runs/page_host.h"

namespace vx {

void btnCalPackVolt_Click(PageHost& host);
void btnBoardOffsett_Click(PageHost& host);
void cmdSWBrdOffsetCal_Click(PageHost& host);

// Samples per phase for a typed sampling time: its leading number x 1000 / 2 / 250, halves to
// even. Raises RunTimeError when it does not fit 16 bits.
std::int16_t BoardOffsetSampleCount(const std::string& typed_seconds);

}  // namespace vx
