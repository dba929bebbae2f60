// The tests of the typed values before a calibrate-device run, and the records they fill.
// Each shows its own message and returns false on a failed test; a text that does not convert
// raises RunTimeError for the run's trap.
#pragma once

#include "engine/cal_request.h"
#include "runs/page_host.h"

namespace vx {

bool Ticked(const Control& check_box);

bool SystemVoltageTest(PageHost& host);
bool TemperatureTest(PageHost& host, CalRequest& request);
// Needs Fields().nCapCount set (2..5) by the capacitor count read just before.
bool CapacitorVoltageTests(PageHost& host, CalRequest& request, CapVoltages& voltages);
void TakeCurrent(PageHost& host, CalRequest& request);

}  // namespace vx
