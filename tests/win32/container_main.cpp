// The container tests run beside the real COM machinery under Wine: OLE is initialised once for
// the thread, and the cases named AfterUnregister... (which check that unregistration left
// nothing behind) run only when asked for, after regsvr32 /u.
#include <string>

#include "win_fixture.h"

namespace vx::win::testing {

namespace {
Options g_options;
}  // namespace

const Options& options() {
  return g_options;
}

}  // namespace vx::win::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  bool after_unregister = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--screenshot" && i + 1 < argc) vx::win::testing::g_options.screenshot = argv[++i];
    if (a == "--after-unregister") after_unregister = true;
  }
  GTEST_FLAG_SET(filter, after_unregister ? "*.AfterUnregister*" : "-*.AfterUnregister*");
  if (FAILED(OleInitialize(nullptr))) return 2;
  const int result = RUN_ALL_TESTS();
  OleUninitialize();
  return result;
}
