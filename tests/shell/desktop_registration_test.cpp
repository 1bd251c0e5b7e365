#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "platform/Registry.h"
#include "shell/DesktopRegistration.h"
#include "tests/support/CaseName.h"
#include "tests/support/Sandbox.h"

namespace tarn::shell {
namespace {

namespace fs = std::filesystem;
using OSTREL::Platform::CRegistry;
using OSTREL::Platform::RegRoot;

// Every file below `root` with its content.
std::map<std::string, std::string> FilesBelow(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      files[relative + "/"] = "";
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    files[relative] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

// The desktop programs on $PATH, or none at all (registration then edits the files itself).
class ScopedPath {
 public:
  explicit ScopedPath(const std::string& path) {
    if (const char* old = std::getenv("PATH")) saved_ = old;
    ::setenv("PATH", path.c_str(), 1);
  }
  ~ScopedPath() { ::setenv("PATH", saved_.c_str(), 1); }

 private:
  std::string saved_;
};

struct Scene {
  const char* name;
  bool withTools;  // xdg-mime and update-desktop-database on $PATH
  bool lived;      // the user's folders already hold applications and defaults of their own
};

class DesktopRegistrationTest : public ::testing::TestWithParam<Scene> {
 protected:
  void SetUp() override {
    paths_.program = "/opt/tarn dir/bin/tarnshell";
    paths_.dataHome = sandbox_ / "data";
    paths_.configHome = sandbox_ / "config";
    fs::create_directories(paths_.dataHome);
    fs::create_directories(paths_.configHome);
    if (GetParam().lived) {
      sandbox_.WriteFile("data/applications/viewer.desktop",
                         "[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer %u\n"
                         "MimeType=text/plain;x-scheme-handler/ed2k;\n");
      sandbox_.WriteFile("config/mimeapps.list",
                         "[Added Associations]\nx-scheme-handler/ed2k=viewer.desktop;\n\n"
                         "[Default Applications]\ntext/plain=viewer.desktop\n"
                         "x-scheme-handler/ed2k=viewer.desktop\n");
      ASSERT_TRUE(registry_.CreateKey(RegRoot::kCurrentUser, "Software\\Ostrel"));
    }
  }

  std::map<std::string, std::string> UserFiles() const {
    auto files = FilesBelow(sandbox_ / "data");
    for (auto& [name, content] : FilesBelow(sandbox_ / "config")) files["config/" + name] = content;
    return files;
  }

  test::Sandbox sandbox_;
  CRegistry registry_{sandbox_ / "registry"};
  SShellPaths paths_;
};

TEST_P(DesktopRegistrationTest, RegisterMakesTheHandlerAndUnregisterLeavesEverythingAsItWas) {
  const ScopedPath path(GetParam().withTools ? "/usr/bin:/bin" : (sandbox_ / "no-tools").string());
  const auto before = UserFiles();
  CDesktopRegistration registration(registry_, paths_);
  ASSERT_TRUE(registration.Register());

  const std::string entry = sandbox_.ReadFile("data/applications/tarnshell.desktop");
  EXPECT_NE(entry.find("\nExec=\"/opt/tarn dir/bin/tarnshell\" ProtocolHandler %u\n"),
            std::string::npos)
      << entry;
  EXPECT_NE(entry.find("\nMimeType=x-scheme-handler/ed2k;x-scheme-handler/p2p;"
                       "x-scheme-handler/tarn;\n"),
            std::string::npos);
  const std::string mimeApps = sandbox_.ReadFile("config/mimeapps.list");
  for (const std::string& type : LinkMimeTypes())
    EXPECT_EQ(MimeAppsValue(mimeApps, kDefaultApplications, type), "tarnshell.desktop") << mimeApps;
  if (GetParam().lived) {
    EXPECT_EQ(MimeAppsValue(mimeApps, kDefaultApplications, "text/plain"), "viewer.desktop");
  }
  if (GetParam().withTools) {
    EXPECT_NE(sandbox_.ReadFile("data/applications/mimeinfo.cache").find("tarnshell.desktop"),
              std::string::npos);
  }
  const auto command =
      registry_.QueryValue(RegRoot::kClassesRoot, "ed2k\\shell\\open\\command", "");
  ASSERT_TRUE(command && command->AsString());
  EXPECT_EQ(*command->AsString(), "\"/opt/tarn dir/bin/tarnshell\" ProtocolHandler %L");
  EXPECT_TRUE(registry_.KeyExists(RegRoot::kClassesRoot, "tarn\\DefaultIcon"));
  EXPECT_TRUE(registry_.KeyExists(RegRoot::kCurrentUser, kFoldersKey));

  // Twice is once.
  const auto registered = UserFiles();
  ASSERT_TRUE(registration.Register());
  EXPECT_EQ(UserFiles(), registered);

  ASSERT_TRUE(registration.Unregister());
  EXPECT_EQ(UserFiles(), before);
  EXPECT_FALSE(registry_.KeyExists(RegRoot::kClassesRoot, "ed2k"));
  EXPECT_FALSE(registry_.KeyExists(RegRoot::kCurrentUser, kFoldersKey));
  EXPECT_EQ(registry_.KeyExists(RegRoot::kCurrentUser, "Software\\Ostrel"), GetParam().lived);
  EXPECT_TRUE(registration.Unregister());
  EXPECT_EQ(UserFiles(), before);
}

INSTANTIATE_TEST_SUITE_P(Scenes, DesktopRegistrationTest,
                         ::testing::Values(Scene{"fresh_user_no_tools", false, false},
                                           Scene{"fresh_user_with_xdg_tools", true, false},
                                           Scene{"lived_in_no_tools", false, true},
                                           Scene{"lived_in_with_xdg_tools", true, true}),
                         test::NameField());

// What the user added meanwhile stays: a further root folder keeps the folders key, and a
// default the user chose later is not ours to take back.
TEST(DesktopRegistrationKeeps, WhatTheUserAddedAfterRegistering) {
  test::Sandbox sandbox;
  const ScopedPath path((sandbox / "no-tools").string());
  CRegistry registry(sandbox / "registry");
  SShellPaths paths{"/usr/bin/tarnshell", sandbox / "data", sandbox / "config"};
  CDesktopRegistration registration(registry, paths);
  ASSERT_TRUE(registration.Register());
  const std::string child = std::string(kFoldersKey) + "\\{01FA5910-CD87-419F-A55B-719318E7AD0D}";
  ASSERT_TRUE(registry.CreateKey(RegRoot::kCurrentUser, child));
  std::string mimeApps = sandbox.ReadFile("config/mimeapps.list");
  mimeApps.replace(mimeApps.find("x-scheme-handler/p2p=tarnshell.desktop"),
                   std::string("x-scheme-handler/p2p=tarnshell.desktop").size(),
                   "x-scheme-handler/p2p=other.desktop");
  sandbox.WriteFile("config/mimeapps.list", mimeApps);

  ASSERT_TRUE(registration.Unregister());
  EXPECT_TRUE(registry.KeyExists(RegRoot::kCurrentUser, child));
  EXPECT_EQ(sandbox.ReadFile("config/mimeapps.list"),
            "\n[Default Applications]\nx-scheme-handler/p2p=other.desktop\n");
}

TEST(DesktopEntryTest, ExecArgumentsAreQuotedAndEscapedAsTheFormatWants) {
  EXPECT_EQ(QuoteExecArgument("/usr/bin/tarnshell"), "/usr/bin/tarnshell");
  EXPECT_EQ(QuoteExecArgument("/home/a b/tarnshell"), "\"/home/a b/tarnshell\"");
  // Inside quotes '$' and '\' take a backslash, which the key file writes twice; '%' doubles.
  EXPECT_EQ(QuoteExecArgument("/x/$y\\z%"), "\"/x/\\\\$y\\\\\\\\z%%\"");
  EXPECT_EQ(QuoteExecArgument("/x/100%"), "/x/100%%");
}

TEST(DesktopEntryTest, TheRecordReadsBackFromTheEntry) {
  SRegistrationRecord record;
  record.createdMimeApps = true;
  record.createdMimeCache = true;
  record.createdRegistryKey = "Software/Ostrel/Z2E Vuvirir Adozez";
  record.mimeApps.sections = {"Added Associations"};
  record.mimeApps.entries = {
      {"Added Associations", "x-scheme-handler/ed2k", "a.desktop;b.desktop;"},
      {"Default Applications", "x-scheme-handler/tarn", ""}};
  EXPECT_EQ(ReadRegistrationRecord(DesktopEntryText("/usr/bin/tarnshell", record)), record);
  EXPECT_FALSE(ReadRegistrationRecord("[Desktop Entry]\nName=Other\n"));
}

}  // namespace
}  // namespace tarn::shell
