#include "records/readings.h"

#include <cmath>

#include "device/numeric.h"

namespace vx::records {

namespace {

// fn(reading, reference value) for each reading a reference calibrates, in the order the
// references came, the stack after the capacitors.
template <typename Fn>
void EachCalibrated(const std::vector<Reference>& references, Fn fn) {
  auto reading_of = [](const std::string& label) {
    for (std::size_t i = 0; i < kReadings.size(); ++i) {
      if (!kReadings[i].label.empty() && kReadings[i].label == label) {
        return static_cast<int>(i);
      }
    }
    return -1;
  };
  const Reference* top = nullptr;
  for (const Reference& ref : references) {
    const int i = reading_of(ref.label);
    if (i >= 0 && i < kStackReading) {
      fn(i, ref.value);
      top = &ref;
    }
  }
  if (top) fn(kStackReading, top->value);
  for (const Reference& ref : references) {
    const int i = reading_of(ref.label);
    if (i > kStackReading) fn(i, ref.value);
  }
}

// v to `decimals` places, without the binary fraction's noise (25.3 - 25 is 0.3, not
// 0.300000000000001); whole numbers stay whole.
Json Rounded(double v, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return Number(FormatDouble(RoundHalfEven(v * scale) / scale));
}

Json Name(int i) {
  return std::string(kReadings[static_cast<std::size_t>(i)].name);
}

}  // namespace

std::string_view PageRow::unit() const {
  switch (quantity) {
    case Quantity::kVoltage:
      return "mV";
    case Quantity::kCurrent:
      return "mA";
    case Quantity::kTemperature:
      return "deg C";
    case Quantity::kSeconds:
      break;
  }
  return "s";
}

int IndexOf(const PageRow& row) {
  const auto i = &row - kPageRows.data();
  return i >= 0 && i < static_cast<std::ptrdiff_t>(kReadings.size()) ? static_cast<int>(i) : -1;
}

const PageRow* RowOfBox(std::string_view key) {
  for (const PageRow& r : kPageRows) {
    if (!r.box.empty() && r.box == key) return &r;
  }
  return nullptr;
}

const PageRow* RowLabelled(std::string_view label) {
  for (const PageRow& r : kPageRows) {
    if (!r.label.empty() && r.label == label) return &r;
  }
  return nullptr;
}

std::vector<const PageRow*> ReferenceRows() {
  std::vector<const PageRow*> out;
  for (const PageRow& r : kPageRows) {
    if (!r.box.empty()) out.push_back(&r);
  }
  return out;
}

Json Number(const std::string& text) {
  try {
    double v = TextToDouble(text);
    if (v == std::floor(v) && std::fabs(v) < 1e15) return static_cast<std::int64_t>(v);
    return v;
  } catch (const std::exception&) {
    return nullptr;
  }
}

Json ReadingIn(const Json& readings, int i) {
  static const char* const kFields[] = {"system_mV", "temperature_C", "current_mA"};
  if (!readings.is_object() || i < 0 || i >= static_cast<int>(kReadings.size())) return nullptr;
  if (i <= kStackReading) {
    auto caps = readings.find("capacitors_mV");
    return caps != readings.end() && caps->is_array() && caps->size() > static_cast<std::size_t>(i)
               ? (*caps)[static_cast<std::size_t>(i)]
               : Json();
  }
  auto field = readings.find(kFields[i - kStackReading - 1]);
  return field != readings.end() ? *field : Json();
}

Json Residuals(const std::vector<Reference>& references, const Json& readings_after) {
  Json out = Json::object();
  EachCalibrated(references, [&](int i, const std::string& ref) {
    const Json measured = ReadingIn(readings_after, i), r = Number(ref);
    out[Name(i)] = measured.is_number() && r.is_number()
                       ? Rounded(measured.get<double>() - r.get<double>(), 3)
                       : Json(nullptr);
  });
  return out;
}

Json Corrections(const std::vector<Reference>& references, const Json& readings_before) {
  Json out = Json::object();
  EachCalibrated(references, [&](int i, const std::string& ref) {
    const Json measured = ReadingIn(readings_before, i), r = Number(ref);
    Json c;
    if (measured.is_number() && r.is_number()) {
      const double m = measured.get<double>(), v = r.get<double>();
      if (kReadings[static_cast<std::size_t>(i)].offset()) {
        c = Rounded(v - m, 3);
      } else if (m != 0) {
        c = Rounded(v / m, 6);
      }
    }
    out[Name(i)] = c;
  });
  return out;
}

std::string MeterOf(const std::vector<Reference>& references) {
  for (const Reference& ref : references) {
    if (!ref.source.is_object()) continue;
    auto meter = ref.source.find("meter");
    if (meter == ref.source.end() || !meter->is_object()) continue;
    std::string name;
    for (const char* key : {"vendor", "model", "serial"}) {
      auto part = meter->find(key);
      if (part == meter->end() || !part->is_string() || part->get<std::string>().empty()) {
        continue;
      }
      name += (name.empty() ? "" : " ") + part->get<std::string>();
    }
    if (!name.empty()) return name;
  }
  return "";
}

PerReading ByReading(const Json& values) {
  PerReading out;
  if (!values.is_object()) return out;
  for (std::size_t i = 0; i < kReadings.size(); ++i) {
    auto v = values.find(std::string(kReadings[i].name));
    if (v != values.end() && v->is_number()) {
      const double d = v->get<double>();
      if (std::isfinite(d)) out[i] = d;
    }
  }
  return out;
}

}  // namespace vx::records
