#include <gtest/gtest.h>

#include <string>

#include "platform/Registry.h"
#include "service/host/ClassIdentities.h"
#include "service/host/ServiceRegistration.h"
#include "tests/support/Sandbox.h"

namespace {

using OSTREL::Platform::CRegistry;
using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;
using OSTREL::Process::CServiceRegistration;
using OSTREL::Process::SRegistrationPaths;

constexpr const char* kAppIdKey = "AppID\\{276AB714-29A9-4934-BFB3-7AFAF9C28768}";
constexpr const char* kManagerClsid = "CLSID\\{111DF4FD-B232-4212-BDA6-6F33B3CB94B5}";

class ServiceRegistrationTest : public ::testing::Test {
 protected:
  ServiceRegistrationTest() : registry_(sandbox_ / "config") {
    paths_.modulePath = "/opt/tarn/bin/tarnsvc";
    paths_.dataHome = sandbox_ / "data";
    paths_.configHome = sandbox_ / "xdgconfig";
    paths_.appDataFolder = sandbox_ / "data/Ostrel";
    paths_.registryFolder = sandbox_ / "config";
  }

  std::optional<std::string> Text(const std::string& key, const std::string& name) {
    const auto value = registry_.QueryValue(RegRoot::kClassesRoot, key, name);
    if (!value || value->AsString() == nullptr) return std::nullopt;
    return *value->AsString();
  }
  bool Has(const std::string& key) { return registry_.KeyExists(RegRoot::kClassesRoot, key); }

  tarn::test::Sandbox sandbox_;
  CRegistry registry_;
  SRegistrationPaths paths_;
};

TEST_F(ServiceRegistrationTest, ServiceWritesClassKeysActivationFileAndUnit) {
  CServiceRegistration registration(registry_, paths_);
  ASSERT_TRUE(registration.Register(true));

  EXPECT_EQ(Text(kAppIdKey, ""), "TARNSVC");
  EXPECT_EQ(Text(kAppIdKey, "LocalService"), "TARN Client Network Serivce");
  EXPECT_EQ(Text(kAppIdKey, "ServiceParameters"), "-Service");
  EXPECT_EQ(Text("AppID\\TARNSVC.EXE", "AppID"), "{276AB714-29A9-4934-BFB3-7AFAF9C28768}");

  EXPECT_EQ(Text("TARNSVC.P2PServiceManager.1", ""), "P2PServiceManager Class");
  EXPECT_EQ(Text("TARNSVC.P2PServiceManager.1\\CLSID", ""),
            "{111DF4FD-B232-4212-BDA6-6F33B3CB94B5}");
  EXPECT_EQ(Text("TARNSVC.P2PServiceManager\\CurVer", ""), "TARNSVC.P2PServiceManager.1");
  EXPECT_EQ(Text(kManagerClsid, ""), "P2PServiceManager Class");
  EXPECT_EQ(Text(kManagerClsid, "AppID"), "{276AB714-29A9-4934-BFB3-7AFAF9C28768}");
  EXPECT_EQ(Text(std::string(kManagerClsid) + "\\LocalServer32", ""), "/opt/tarn/bin/tarnsvc");
  EXPECT_EQ(Text(std::string(kManagerClsid) + "\\TypeLib", ""),
            "{4DC2FB79-5F7D-4AB5-849E-0034AD4589F0}");
  EXPECT_EQ(Text(std::string(kManagerClsid) + "\\VersionIndependentProgID", ""),
            "TARNSVC.P2PServiceManager");
  EXPECT_TRUE(Has(std::string(kManagerClsid) + "\\Programmable"));
  for (const auto& c : OSTREL::Process::kClasses) {
    EXPECT_TRUE(Has("CLSID\\" + std::string(c.clsid))) << c.name;
    EXPECT_TRUE(Has("TARNSVC." + std::string(c.name))) << c.name;
  }

  EXPECT_EQ(sandbox_.ReadFile("data/dbus-1/services/com.ostrel.TarnSvc.service"),
            "[D-BUS Service]\nName=com.ostrel.TarnSvc\nExec=/opt/tarn/bin/tarnsvc\n"
            "SystemdService=tarnsvc.service\n");
  const std::string unit = sandbox_.ReadFile("xdgconfig/systemd/user/tarnsvc.service");
  for (const char* line :
       {"Type=notify\n", "BusName=com.ostrel.TarnSvc\n", "ExecStart=/opt/tarn/bin/tarnsvc\n",
        "Restart=on-failure\n", "NoNewPrivileges=yes\n", "ProtectSystem=strict\n",
        "PrivateTmp=yes\n", "Description=TARN Client Network Service\n"}) {
    EXPECT_NE(unit.find(line), std::string::npos) << line;
  }
  EXPECT_NE(unit.find("ReadWritePaths=-" + (sandbox_ / "data/Ostrel").string() + " -" +
                      (sandbox_ / "config").string() + "\n"),
            std::string::npos)
      << unit;
  // Enabled: the daemon starts at login.
  const auto wanted = sandbox_ / "xdgconfig/systemd/user/default.target.wants/tarnsvc.service";
  EXPECT_EQ(std::filesystem::read_symlink(wanted), "../tarnsvc.service");
  EXPECT_TRUE(std::filesystem::exists(wanted));
}

TEST_F(ServiceRegistrationTest, RegServerAfterServiceDropsTheServiceParts) {
  CServiceRegistration registration(registry_, paths_);
  ASSERT_TRUE(registration.Register(true));
  ASSERT_TRUE(registration.Register(false));

  EXPECT_EQ(Text(kAppIdKey, ""), "TARNSVC");
  EXPECT_FALSE(Text(kAppIdKey, "LocalService").has_value());
  EXPECT_FALSE(Text(kAppIdKey, "ServiceParameters").has_value());
  EXPECT_TRUE(Has(kManagerClsid));
  EXPECT_EQ(sandbox_.ReadFile("data/dbus-1/services/com.ostrel.TarnSvc.service"),
            "[D-BUS Service]\nName=com.ostrel.TarnSvc\nExec=/opt/tarn/bin/tarnsvc\n");
  EXPECT_FALSE(std::filesystem::exists(sandbox_ / "xdgconfig/systemd/user/tarnsvc.service"));
  EXPECT_FALSE(std::filesystem::is_symlink(
      sandbox_ / "xdgconfig/systemd/user/default.target.wants/tarnsvc.service"));
}

TEST_F(ServiceRegistrationTest, UnregisterLeavesOnlyTheSharedParentsAndForeignKeys) {
  // Another program's class under the same parents must survive.
  ASSERT_TRUE(registry_.SetValue(RegRoot::kClassesRoot, "CLSID\\{00000000-1111}", "",
                                 CRegValue::String("Other Class")));
  CServiceRegistration registration(registry_, paths_);
  ASSERT_TRUE(registration.Register(true));
  ASSERT_TRUE(registration.Unregister());

  EXPECT_EQ(registry_.EnumSubKeys(RegRoot::kClassesRoot, "AppID"),
            std::vector<std::string>{});
  EXPECT_EQ(registry_.EnumSubKeys(RegRoot::kClassesRoot, "CLSID"),
            std::vector<std::string>{"{00000000-1111}"});
  for (const auto& c : OSTREL::Process::kClasses) {
    EXPECT_FALSE(Has("TARNSVC." + std::string(c.name))) << c.name;
    EXPECT_FALSE(Has("TARNSVC." + std::string(c.name) + ".1")) << c.name;
  }
  EXPECT_FALSE(std::filesystem::exists(sandbox_ / "data/dbus-1/services/com.ostrel.TarnSvc.service"));
  EXPECT_FALSE(std::filesystem::exists(sandbox_ / "xdgconfig/systemd/user/tarnsvc.service"));
  // Disabled, and the folder of wanted units it made is gone again.
  EXPECT_FALSE(std::filesystem::exists(sandbox_ / "xdgconfig/systemd/user/default.target.wants"));
  // Nothing to remove is no failure.
  EXPECT_TRUE(registration.Unregister());
}

}  // namespace
