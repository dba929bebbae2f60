#include "hosts/cli/page_input.h"

#include "device/numeric.h"
#include "hosts/cli/output.h"
#include "hosts/station/references.h"

namespace vx::cli {

bool TypeReference(Station& s, const std::string& key, const std::string& text,
                   const std::string& option) {
  FormModel& f = s.control().form();
  Control* box = f.Find(key);
  const std::string label = LabelOf(key);
  try {
    TextToDouble(text);
  } catch (const std::exception&) {
    Out::Error(option + ": \"" + text + "\" for " + label + " is not a number");
    return false;
  }
  if (box->max_length > 0 && text.size() > static_cast<std::size_t>(box->max_length)) {
    Out::Error(option + ": \"" + text + "\" does not fit the page's box for " + label +
               ", which takes at most " + std::to_string(box->max_length) +
               " characters (digits, sign and point)");
    return false;
  }
  if (!f.Type(key, text)) {
    Out::Error(label + " cannot be typed into now");
    return false;
  }
  s.NoteGiven(key, text);
  return true;
}

bool GiveReference(Session& s, const std::string& key, const std::string& value,
                   const std::string& option, std::vector<std::string>& metered) {
  if (value != kFromMeter) return TypeReference(s.station(), key, value, option);
  if (s.options().meter.address.empty()) {
    Out::Error(option +
               " meter takes the value from a bench meter: name it with --meter "
               "DRIVER:OPTIONS (scpi-dmm:conn=tcp-raw/HOST/PORT)");
    return false;
  }
  metered.push_back(key);
  return true;
}

void SetTicked(FormModel& f, const std::string& key, bool ticked) {
  Control* c = f.Find(key);
  if (c && (c->value() == 1) != ticked) f.Click(key);
}

}  // namespace vx::cli
