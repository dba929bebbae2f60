// The plug-in as a host sees it: registered, loaded, created, shown, ticked, destroyed and
// unloaded through its four exports.
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

#include "control/registration.h"
#include "hosts/station/plugin_loader.h"
#include "page_fixture.h"

namespace vx::testing {

// The registration goes to a folder of the test's own, which no other test of this program
// reads.
TEST(Loader, RegisterLoadCreateShowTickDestroyUnload) {
  TempDir home;
  setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
  std::string error;
  auto direct = Plugin::Open(VX_PLUGIN_PATH, error);
  ASSERT_TRUE(direct) << error;
  // What a host passes is checked before it is followed.
  void* lib = dlopen(VX_PLUGIN_PATH, RTLD_NOW);
  auto get = reinterpret_cast<DllGetClassObjectFn>(dlsym(lib, "DllGetClassObject"));
  void* pv = lib;
  EXPECT_EQ(get(&kCLSID_Cal, nullptr, &pv), kE_POINTER);
  EXPECT_EQ(pv, nullptr);
  EXPECT_EQ(get(nullptr, &kIID_IClassFactory, &pv), kE_POINTER);
  EXPECT_EQ(get(&kIID_Cal, &kIID_IClassFactory, &pv), kCLASS_E_CLASSNOTAVAILABLE);
  dlclose(lib);
  ASSERT_EQ(direct->Register(), kS_OK);
  auto reg = ReadRegistration(kProgID);
  ASSERT_TRUE(reg);
  EXPECT_EQ((std::vector<std::string>{reg->clsid, reg->progid, reg->library, reg->typelib_name,
                                      reg->typelib_version, reg->typelib_description}),
            (std::vector<std::string>{GuidToString(kCLSID_Cal), "vx58420Cal.Cal",
                                      std::filesystem::canonical(VX_PLUGIN_PATH).string(),
                                      "vx58420Cal", "1.1", "vx58420 Calibration Plugin"}));

  auto plugin = Plugin::Open("", error);  // through the registration
  ASSERT_TRUE(plugin) << error;
  EXPECT_EQ(plugin->CanUnloadNow(), kS_OK);
  ICal* cal = plugin->CreateCal(error);
  ASSERT_NE(cal, nullptr) << error;
  EXPECT_EQ(plugin->CanUnloadNow(), kS_FALSE);

  TestContainer box(sim::DefaultState(4));
  cal->SetClientSite(&box);
  std::string info = "800.1.02";
  std::int16_t addr = 0x16;
  cal->TargetInfo(info);
  cal->TargetAddress(addr);
  cal->OnShow();
  EXPECT_EQ(cal->Form().At("txtCellCount").text(), "4");
  EXPECT_TRUE(cal->Form().Tick("tmrScan"));
  EXPECT_EQ(cal->Form().At("txtCalMeasVoltage", 0).text(), "2050");
  cal->AddRef();
  EXPECT_EQ(cal->Release(), 1u);
  cal->Release();
  EXPECT_EQ(plugin->CanUnloadNow(), kS_OK);

  ASSERT_TRUE(plugin->Unload());
  EXPECT_FALSE(plugin->Unload());

  ASSERT_EQ(direct->Unregister(), kS_OK);
  // A registration that cannot be opened or written (a full disk) is a failure, and leaves
  // nothing behind.
  const std::string tmp = RegistrationPath(kProgID) + ".tmp";
  std::filesystem::create_directories(tmp);
  EXPECT_NE(direct->Register(), kS_OK);
  std::filesystem::remove_all(tmp);
  std::filesystem::create_symlink("/dev/full", tmp);
  EXPECT_NE(direct->Register(), kS_OK);
  std::filesystem::remove(tmp);
  EXPECT_FALSE(ReadRegistration(kProgID));
  std::ofstream(RegistrationPath(kProgID))
      << "[Class]\nCLSID={00000000-0000-0000-0000-000000000001}\n";
  EXPECT_FALSE(ReadRegistration(kProgID));  // no library to load
  std::filesystem::remove(RegistrationPath(kProgID));
  EXPECT_FALSE(Plugin::Open("", error));
  EXPECT_NE(error.find("not registered"), std::string::npos);
  EXPECT_FALSE(Plugin::Open(home.path() + "/nothing.so", error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
}

}  // namespace vx::testing
