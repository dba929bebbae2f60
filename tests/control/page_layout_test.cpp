// The page as users see it: every control's kind, place, parent, caption, look and flags as
// designed. The page is changed on purpose, with control/page_layout.txt updated alongside
// (VX_UPDATE_PAGE=1 writes it), never as the side effect of another change.
#include "control/page_layout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vx {

namespace {

std::string Escaped(const std::string& s) {
  std::string out;
  for (char c : s)
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

std::string Describe(const FormModel& f) {
  std::ostringstream l;
  l << "page " << f.width << " x " << f.height << '\n';
  for (const auto& c : f.controls()) {
    l << c->Key() << " kind " << static_cast<int>(c->kind) << " in '" << c->parent << "' at "
      << c->rect.left << ',' << c->rect.top << ' ' << c->rect.width << 'x' << c->rect.height
      << " text '" << Escaped(c->text()) << "' visible " << c->visible() << " enabled "
      << c->enabled() << " value " << c->value() << " max " << c->max_length << " locked "
      << c->locked << " font " << c->font_size << " bold " << c->bold << " colours " << std::hex
      << c->back_color << '/' << c->fore_color << std::dec << " align "
      << static_cast<int>(c->alignment) << " border " << c->border << " interval " << c->interval_ms
      << " tip '" << Escaped(c->tooltip) << "'\n";
  }
  return l.str();
}

}  // namespace

TEST(PageLayout, IsAsDesigned) {
  FormModel f;
  BuildCalibrationPage(f);
  const std::string got = Describe(f);
  if (std::getenv("VX_UPDATE_PAGE")) std::ofstream(VX_PAGE_FILE) << got;
  std::ostringstream want;
  want << std::ifstream(VX_PAGE_FILE).rdbuf();
  EXPECT_EQ(got, want.str()) << "the page differs from " << VX_PAGE_FILE;
}

}  // namespace vx
