// The desktop side's texts and the texts it reads: the string table, links as browsers hand
// them over, and mimeapps.list editing.
#include <gtest/gtest.h>

#include "engine/protocol/Ed2kLink.h"
#include "shell/MimeAppsList.h"
#include "shell/ShellCommands.h"
#include "shell/ShellStrings.h"

namespace tarn::shell {
namespace {

TEST(ShellStringsTest, TextsStandAsTheyAreAndFormatTheirName) {
  EXPECT_EQ(ShellString(kStrDownloadCompletedTitle), "Download Completed");
  EXPECT_EQ(FormatShellString(kStrDownloadCompletedMessage, "clip.avi"),
            "clip.avi downlaod complete.Do you want to go Shared Folder?");
  EXPECT_EQ(ShellString(kStrColumnAvailability), "Availablity");
  EXPECT_EQ(ShellString(kStrSearchTargets),
            "|Incoming Folder|Shared Folder|Search Result Folder|P2P Search||");
  EXPECT_EQ(ShellString(kStrOpenSharedFolder), "Open Shared Folder");
  EXPECT_EQ(ShellString(4242), "");
  EXPECT_EQ(ShellStrings().front().id, kStrShellName);
}

TEST(BrowserLinkTest, ALinkEscapedWholeIsUnescapedOnceSoItsNameKeepsItsEscapes) {
  const std::string hash = "0123456789ABCDEF0123456789ABCDEF";
  const std::string handed = "ed2k://%7Cfile%7Ca%257Cb%2520c.txt%7C5%7C" + hash + "%7C/";
  const std::string link = UnescapeBrowserLink(handed);
  EXPECT_EQ(link, "ed2k://|file|a%7Cb%20c.txt|5|" + hash + "|/");
  P2P::Protocol::SEd2kLink read;
  P2P::Protocol::SLinkError error;
  ASSERT_TRUE(P2P::Protocol::ReadEd2kLink(link, read, error)) << error.Message();
  EXPECT_EQ(read.name, "a|b c.txt");
  // A link with its bars is taken as it stands.
  const std::string plain = "ed2k://|file|a%7Cb.txt|5|" + hash + "|/";
  EXPECT_EQ(UnescapeBrowserLink(plain), plain);
}

TEST(MimeAppsListTest, SettingReplacesInPlaceAndAddsTheSectionWhenMissing) {
  const std::vector<std::string> types{"x-scheme-handler/ed2k", "x-scheme-handler/tarn"};
  EXPECT_EQ(SetDefaultApplications("", "t.desktop", types),
            "\n[Default Applications]\nx-scheme-handler/ed2k=t.desktop\n"
            "x-scheme-handler/tarn=t.desktop\n");
  EXPECT_EQ(SetDefaultApplications("[Default Applications]\nx-scheme-handler/tarn=v.desktop\n"
                                   "a/b=c.desktop\n\n[Other]\nk=v",
                                   "t.desktop", types),
            "[Default Applications]\nx-scheme-handler/tarn=t.desktop\na/b=c.desktop\n"
            "x-scheme-handler/ed2k=t.desktop\n\n[Other]\nk=v");
}

TEST(MimeAppsListTest, RestoringPutsBackWhatWasThereAndDropsWhatWasAdded) {
  const std::vector<std::string> types{"x-scheme-handler/ed2k", "x-scheme-handler/p2p"};
  const std::string before =
      "[Added Associations]\nx-scheme-handler/p2p=v.desktop;\n\n[Default Applications]\n"
      "x-scheme-handler/ed2k=v.desktop\n";
  const SMimeAppsState state = ReadMimeAppsState(before, types);
  const std::string after =
      "[Added Associations]\nx-scheme-handler/p2p=t.desktop;v.desktop;\n"
      "x-scheme-handler/ed2k=t.desktop;\n\n[Default Applications]\n"
      "x-scheme-handler/ed2k=t.desktop\nx-scheme-handler/p2p=t.desktop\n";
  EXPECT_EQ(RestoreMimeApps(after, "t.desktop", types, state), before);
  EXPECT_TRUE(IsEmptyMimeApps(RestoreMimeApps(SetDefaultApplications("", "t.desktop", types),
                                              "t.desktop", types, ReadMimeAppsState("", types))));
}

}  // namespace
}  // namespace tarn::shell
