#include "platform/Folders.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <optional>
#include <string>

#include "platform/Resolver.h"

namespace OSTREL::Platform {
namespace {

// Sets (or clears) an environment variable for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(FoldersTest, UserInstanceFollowsXdgVariables) {
  ScopedEnv home("HOME", "/home/someone");
  ScopedEnv config("TARN_CONFIG_DIR", nullptr);
  {
    ScopedEnv xdgData("XDG_DATA_HOME", nullptr);
    ScopedEnv xdgConfig("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(CFolders::BaseDataFolder(), "/home/someone/.local/share");
    EXPECT_EQ(CFolders::RegistryFolder(), "/home/someone/.config/tarn");
  }
  {
    ScopedEnv xdgData("XDG_DATA_HOME", "/data");
    ScopedEnv xdgConfig("XDG_CONFIG_HOME", "/conf");
    EXPECT_EQ(CFolders::BaseDataFolder(), "/data");
    EXPECT_EQ(CFolders::RegistryFolder(), "/conf/tarn");
  }
  {
    // Relative XDG values are ignored, as the base-directory rules ask.
    ScopedEnv xdgData("XDG_DATA_HOME", "relative");
    EXPECT_EQ(CFolders::BaseDataFolder(), "/home/someone/.local/share");
  }
}

TEST(FoldersTest, ExplicitConfigFolderWinsAndServiceModeUsesVarLib) {
  ScopedEnv xdgData("XDG_DATA_HOME", "/data");
  {
    ScopedEnv config("TARN_CONFIG_DIR", nullptr);
    CFolders::SetSystemServiceMode(true);
    EXPECT_EQ(CFolders::BaseDataFolder(), "/var/lib");
    EXPECT_EQ(CFolders::RegistryFolder(), "/var/lib/tarn");
  }
  {
    ScopedEnv config("TARN_CONFIG_DIR", "/etc/tarn-test");
    EXPECT_EQ(CFolders::RegistryFolder(), "/etc/tarn-test");
    CFolders::SetSystemServiceMode(false);
    EXPECT_EQ(CFolders::RegistryFolder(), "/etc/tarn-test");
  }
  EXPECT_FALSE(CFolders::IsSystemServiceMode());
}

TEST(ResolverTest, DottedTextNamesAndFailures) {
  EXPECT_EQ(FormatIPv4(ResolveIPv4("127.0.0.1")), "127.0.0.1");
  EXPECT_EQ(FormatIPv4(ResolveIPv4("127.1")), "127.0.0.1");    // inet_addr shorthand
  EXPECT_EQ(FormatIPv4(ResolveIPv4("10.1.2.3")), "10.1.2.3");  // parsed, never contacted
  EXPECT_EQ(FormatIPv4(ResolveIPv4("localhost")), "127.0.0.1");
  EXPECT_EQ(ResolveIPv4("no-such-host.invalid"), kInvalidAddress);
  EXPECT_EQ(ResolveIPv4(""), kInvalidAddress);
  EXPECT_EQ(FormatIPv4(kInvalidAddress), "255.255.255.255");
  // Memory order: the first byte in memory is printed first.
  const uint8_t bytes[4] = {192, 168, 0, 7};
  uint32_t address;
  std::memcpy(&address, bytes, 4);
  EXPECT_EQ(FormatIPv4(address), "192.168.0.7");
}

}  // namespace
}  // namespace OSTREL::Platform
