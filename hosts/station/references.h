// The page's reference boxes as a station uses them: the label a host names a box by, and what a
// bench meter must measure for one and how its reading becomes the page's number. The rows
// themselves are the page's vocabulary (records/readings.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "instruments/reading.h"
#include "records/readings.h"

namespace vx {

using records::kStackReading;
using records::PageRow;
using records::Quantity;

// The box's label as the page shows it, or the key for a control that is no reference box.
std::string LabelOf(std::string_view key);
// What a meter must measure for the row and how its reading becomes the page's number:
// voltages in mV from DC volts (0.5 mV or 0.05 %), current in mA from DC amperes, temperature
// in degrees C to a tenth (0.1 degree); nullopt for a box no meter gives.
std::optional<instruments::Expect> MeterExpectation(const PageRow& row);
// "mV", "mA", "°C": the unit a meter's reference is recorded in.
std::string PageUnit(const PageRow& row);

}  // namespace vx
