#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "platform/RegFile.h"
#include "platform/RegistryKey.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/Sandbox.h"

namespace OSTREL::Platform {
namespace {

constexpr RegRoot kMachine = RegRoot::kLocalMachine;

class RegistryTest : public ::testing::Test {
 protected:
  std::filesystem::path Folder() const { return sandbox_ / "config"; }
  tarn::test::Sandbox sandbox_;
};

TEST_F(RegistryTest, KeysAndValuesAreCaseInsensitiveAndKeepTheirFirstCase) {
  CRegistry registry(Folder());
  ASSERT_TRUE(
      registry.SetValue(kMachine, "Software\\Ostrel\\TARN", "User Name", CRegValue::String("a")));
  ASSERT_TRUE(
      registry.SetValue(kMachine, "SOFTWARE\\ostrel\\tarn", "USER NAME", CRegValue::String("b")));
  EXPECT_EQ(*registry.QueryValue(kMachine, "software\\Ostrel\\TARN\\", "user name")->AsString(),
            "b");
  EXPECT_EQ(registry.EnumValueNames(kMachine, "Software\\Ostrel\\TARN"),
            (std::vector<std::string>{"User Name"}));
  EXPECT_EQ(registry.EnumSubKeys(kMachine, "software"), (std::vector<std::string>{"Ostrel"}));
}

TEST_F(RegistryTest, ChangesPersistAcrossInstancesAndHivesStaySeparate) {
  {
    CRegistry registry(Folder());
    ASSERT_TRUE(registry.CreateKey(kMachine, "A\\B\\C"));
    ASSERT_TRUE(registry.SetValue(RegRoot::kCurrentUser, "A", "v", CRegValue::Dword(5)));
    ASSERT_TRUE(registry.SetValue(RegRoot::kClassesRoot, "ed2k", "", CRegValue::String("URL")));
  }
  CRegistry registry(Folder());
  EXPECT_TRUE(registry.KeyExists(kMachine, "a\\b\\c"));
  EXPECT_FALSE(registry.QueryValue(kMachine, "A", "v").has_value());
  EXPECT_EQ(registry.QueryValue(RegRoot::kCurrentUser, "A", "v")->AsDword(), 5u);
  EXPECT_EQ(*registry.QueryValue(RegRoot::kClassesRoot, "ED2K", "")->AsString(), "URL");
  EXPECT_TRUE(std::filesystem::exists(Folder() / "HKEY_CLASSES_ROOT.reg"));
}

// The machine hive holds the private key: no other user may read it, after any save.
TEST_F(RegistryTest, TheFilesAndTheirFolderAreTheOwnersAloneOnEverySave) {
  const auto modeOf = [](const std::filesystem::path& path) {
    return std::filesystem::status(path).permissions() & std::filesystem::perms::all;
  };
  using std::filesystem::perms;
  std::filesystem::create_directories(Folder());
  std::filesystem::permissions(Folder(), perms::owner_all | perms::group_read | perms::group_exec |
                                             perms::others_read | perms::others_exec);
  const auto hive = Folder() / "HKEY_LOCAL_MACHINE.reg";
  {
    std::ofstream old(hive);
    old << "Windows Registry Editor Version 5.00\n";
  }
  std::filesystem::permissions(
      hive, perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
  CRegistry registry(Folder());
  for (const char* name : {"first", "second"}) {
    ASSERT_TRUE(registry.SetValue(kMachine, "Software\\Ostrel\\TARN", "Private Key",
                                  CRegValue::String(name)));
    EXPECT_EQ(modeOf(Folder()), perms::owner_all) << name;
    EXPECT_EQ(modeOf(hive), perms::owner_read | perms::owner_write) << name;
  }
}

TEST_F(RegistryTest, DeletesValuesAndWholeTrees) {
  CRegistry registry(Folder());
  registry.SetValue(kMachine, "A\\B", "v", CRegValue::Dword(1));
  registry.SetValue(kMachine, "A\\B\\C", "w", CRegValue::Dword(2));
  EXPECT_TRUE(registry.DeleteValue(kMachine, "a\\b", "V"));
  EXPECT_FALSE(registry.DeleteValue(kMachine, "A\\B", "v"));
  EXPECT_TRUE(registry.DeleteKey(kMachine, "A\\B"));
  EXPECT_FALSE(registry.KeyExists(kMachine, "A\\B\\C"));
  EXPECT_TRUE(registry.KeyExists(kMachine, "A"));
  EXPECT_FALSE(registry.DeleteKey(kMachine, "A\\B"));
  EXPECT_FALSE(registry.DeleteKey(kMachine, ""));
  EXPECT_FALSE(registry.EnumSubKeys(kMachine, "A\\B").has_value());
}

// Two writers (the daemon and the desktop program) each re-read under the lock before they
// write, so neither loses the other's value; readers notice the replaced file.
TEST_F(RegistryTest, TwoWritersDoNotLoseEachOthersChanges) {
  CRegistry daemon(Folder());
  CRegistry desktop(Folder());
  ASSERT_TRUE(daemon.SetValue(kMachine, "K", "fromDaemon", CRegValue::Dword(1)));
  EXPECT_EQ(desktop.QueryValue(kMachine, "K", "fromDaemon")->AsDword(), 1u);
  ASSERT_TRUE(desktop.SetValue(kMachine, "K", "fromDesktop", CRegValue::Dword(2)));
  ASSERT_TRUE(daemon.SetValue(kMachine, "K", "fromDaemon", CRegValue::Dword(3)));
  EXPECT_EQ(desktop.QueryValue(kMachine, "K", "fromDaemon")->AsDword(), 3u);
  EXPECT_EQ(daemon.QueryValue(kMachine, "K", "fromDesktop")->AsDword(), 2u);
}

TEST_F(RegistryTest, ConcurrentWritersFromThreadsAllLand) {
  CRegistry first(Folder());
  CRegistry second(Folder());
  auto writer = [](CRegistry& registry, const std::string& prefix) {
    for (int i = 0; i < 20; ++i)
      registry.SetValue(kMachine, "K", prefix + std::to_string(i), CRegValue::Dword(i));
  };
  std::thread a(writer, std::ref(first), "a");
  std::thread b(writer, std::ref(second), "b");
  a.join();
  b.join();
  EXPECT_EQ(CRegistry(Folder()).EnumValueNames(kMachine, "K")->size(), 40u);
}

TEST_F(RegistryTest, MalformedFilesFallBackToEmptyWithoutCrashing) {
  const std::string hive = "config/HKEY_LOCAL_MACHINE.reg";
  for (const std::string& junk :
       {std::string("\x7f"
                    "ELF\x02\x01\x01\x00\x00\x00",
                    10),
        std::string("not a registry\n"),
        std::string("Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"trunc"),
        std::string(100000, '\0')}) {
    sandbox_.WriteFile(hive, junk);
    CRegistry registry(Folder());
    EXPECT_FALSE(registry.QueryValue(kMachine, "K", "a").has_value());
    EXPECT_TRUE(registry.SetValue(kMachine, "K", "b", CRegValue::Dword(1)));
    EXPECT_EQ(CRegistry(Folder()).QueryValue(kMachine, "K", "b")->AsDword(), 1u);
  }
}

TEST_F(RegistryTest, AFileThatIsNoRegistryIsSetAsideNotOverwritten) {
  sandbox_.WriteFile("config/HKEY_LOCAL_MACHINE.reg", "precious but foreign\n");
  CRegistry registry(Folder());
  ASSERT_TRUE(registry.SetValue(kMachine, "K", "v", CRegValue::Dword(1)));
  EXPECT_EQ(sandbox_.ReadFile("config/HKEY_LOCAL_MACHINE.reg.unreadable"),
            "precious but foreign\n");
}

TEST_F(RegistryTest, RefusesNamesThatWouldBreakTheFile) {
  CRegistry registry(Folder());
  EXPECT_FALSE(registry.SetValue(kMachine, "K", "two\nlines", CRegValue::Dword(1)));
  EXPECT_FALSE(registry.CreateKey(kMachine, "K\nL"));
  EXPECT_FALSE(registry.KeyExists(kMachine, "K"));
}

// A failed save must not leave the change visible as if it had been stored.
TEST_F(RegistryTest, AFailedSaveReportsFailureAndKeepsTheOldFile) {
  CRegistry registry(Folder());
  ASSERT_TRUE(registry.SetValue(kMachine, "K", "v", CRegValue::Dword(1)));
  {
    // A full disk makes every save fail.
    tarn::test::FaultyFileSystem faulty;
    tarn::test::ScopedFileSystem installed(faulty);
    faulty.DiskFullAfter(8);
    EXPECT_FALSE(registry.SetValue(kMachine, "K", "v", CRegValue::Dword(2)));
    EXPECT_FALSE(registry.SetValue(kMachine, "K", "w", CRegValue::Dword(3)));
  }
  EXPECT_EQ(registry.QueryValue(kMachine, "K", "v")->AsDword(), 1u);
  EXPECT_FALSE(registry.QueryValue(kMachine, "K", "w").has_value());
}

TEST_F(RegistryTest, KeyHandleChecksTypesAndLengths) {
  CRegistry registry(Folder());
  const auto key = CRegKey::Create(registry, kMachine, "Software\\Ostrel\\TARN");
  ASSERT_TRUE(key.has_value());
  EXPECT_FALSE(CRegKey::Open(registry, kMachine, "Software\\Missing").has_value());
  key->SetString("Text", "ab€");
  key->SetBinary("Bytes", {1, 2, 3});
  key->SetDword("Number", 9);
  EXPECT_EQ(key->QueryString("Text", 3), "ab€");
  EXPECT_FALSE(key->QueryString("Text", 2).has_value());
  EXPECT_FALSE(key->QueryString("Bytes", 100).has_value());
  EXPECT_EQ(key->QueryBinary("Bytes", 3), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_FALSE(key->QueryBinary("Bytes", 2).has_value());
  EXPECT_FALSE(key->QueryBinary("Text", 100).has_value());
  EXPECT_EQ(key->QueryDword("Number"), 9u);
  EXPECT_FALSE(key->QueryDword("Text").has_value());
  EXPECT_TRUE(key->CreateSubKey("Connections").has_value());
  EXPECT_TRUE(registry.KeyExists(kMachine, "Software\\Ostrel\\TARN\\Connections"));
}

// A writer killed at any moment leaves the old file or the new one, never a torn file.
TEST_F(RegistryTest, AWriterKilledMidSaveLeavesACompleteFile) {
  const auto folder = Folder();
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delayUs(0, 30000);
  int lastSeen = -1;
  for (int round = 0; round < 25; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      CRegistry registry(folder);
      for (int i = 0;; ++i) {
        // Payload size varies with i, so a torn write could not pass for a whole one.
        const std::vector<uint8_t> payload(1000 + (i % 7) * 3000, static_cast<uint8_t>(i));
        registry.Update(kMachine, [&](CRegHive& hive) {
          auto& key = hive.CreateKey("K");
          key.SetValue("Counter", CRegValue::Dword(static_cast<uint32_t>(i)));
          key.SetValue("Payload", CRegValue::Binary(payload));
          return true;
        });
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(5000 + delayUs(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    const std::string text = sandbox_.ReadFile("config/HKEY_LOCAL_MACHINE.reg");
    if (text.empty()) continue;  // killed before its first save
    CRegHive hive("HKEY_LOCAL_MACHINE");
    const auto result = ParseRegFile(text, hive, "");
    ASSERT_TRUE(result.isRegFile) << "round " << round;
    ASSERT_EQ(result.skippedLines, 0u) << "round " << round;
    const CRegHiveKey* key = hive.FindKey("K");
    ASSERT_NE(key, nullptr);
    const uint32_t counter = *key->FindValue("Counter")->AsDword();
    const auto& payload = *key->FindValue("Payload")->AsBytes();
    ASSERT_EQ(payload.size(), 1000 + (counter % 7) * 3000);
    ASSERT_EQ(payload.front(), static_cast<uint8_t>(counter));
    ASSERT_EQ(payload.back(), static_cast<uint8_t>(counter));
    lastSeen = static_cast<int>(counter);
  }
  EXPECT_GE(lastSeen, 0) << "no writer ever completed a save";
}

}  // namespace
}  // namespace OSTREL::Platform
