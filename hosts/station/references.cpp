#include "hosts/station/references.h"

namespace vx {

std::string LabelOf(std::string_view key) {
  const PageRow* r = records::RowOfBox(key);
  return std::string(r ? r->label : key);
}

std::optional<instruments::Expect> MeterExpectation(const PageRow& row) {
  switch (row.quantity) {
    case Quantity::kVoltage:
      return instruments::Expect{"voltage", "DC", "V", 1000, 0, 0.5, 0.0005};
    case Quantity::kCurrent:
      return instruments::Expect{"current", "DC", "A", 1000, 0, 0.5, 0.0005};
    case Quantity::kTemperature:
      return instruments::Expect{"temperature", "", "°C", 1, 1, 0.1, 0};
    case Quantity::kSeconds:
      break;
  }
  return std::nullopt;
}

std::string PageUnit(const PageRow& row) {
  return row.quantity == Quantity::kTemperature ? "°C" : std::string(row.unit());
}

}  // namespace vx
