#include <gtest/gtest.h>

#include "engine/download/DownloadFileManager.h"
#include "platform/Folders.h"
#include "shell/CompletionPrompt.h"
#include "shell/FolderOpener.h"
#include "shell/ui/MirrorUiData.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/shell_bus/MirrorFixture.h"
#include "tests/shell_bus/NotificationRecorder.h"

namespace tarn::test {
namespace {

using namespace shell::ui;

// The page's data on the desktop side's mirrors, against the in-process daemon on the test's
// bus: what the page shows, the calls behind its menus, band and paste field, and the
// completion prompt it shows when no notification server does.
class UiDataTest : public MirrorTest {
 protected:
  void StartData() {
    data_.Start([this](const SDownloadRecord& completed) {
      std::lock_guard guard(promptsLock_);
      prompts_.push_back(completed);
    });
    ASSERT_TRUE(data_.DaemonReachable());
  }
  void TearDown() override {
    data_.Stop();
    MirrorTest::TearDown();
  }
  std::vector<SDownloadRecord> Prompts() {
    std::lock_guard guard(promptsLock_);
    return prompts_;
  }
  std::optional<SDownloadRecord> DownloadNamed(const std::string& name) {
    const auto downloads = data_.Downloads();  // held while it is read
    for (const SDownloadRecord& d : *downloads)
      if (d.name == name) return d;
    return std::nullopt;
  }
  // Starts a download of `content` through a pasted link; its key.
  uint32_t Paste(const std::vector<uint8_t>& content, const std::string& name) {
    const auto record = P2P::test::RecordFor(content, name);
    const auto outcome =
        data_.AddLink("ed2k://|file|" + name + "|" + std::to_string(content.size()) + "|" +
                      record.hash.ToHex() + "|/");
    EXPECT_TRUE(outcome.accepted) << outcome.message;
    EXPECT_EQ(outcome.message, "Downloading " + name + ".");
    std::optional<SDownloadRecord> shown;
    EXPECT_TRUE(WaitUntil([&] { return (shown = DownloadNamed(name)).has_value(); }));
    return shown ? shown->key : 0;
  }
  P2P::Shared::File::TransferFile::CTransferFilePtr Download(const std::vector<uint8_t>& content) {
    return module_->GetDownloadFileManager().List().FindByHash(
        P2P::test::RecordFor(content, "").hash);
  }

  CEventHub hub_;
  CMirrorUiData data_{SessionBusClient(), hub_, OSTREL::Platform::CFolders::RegistryFolder()};
  std::mutex promptsLock_;
  std::vector<SDownloadRecord> prompts_;
};

// A pasted link goes through the link reader and starts the download the Incoming folder then
// shows; a malformed one is refused with the field named. The menu's verbs reach the download
// and the folder follows; each change moves the folder's counter.
TEST_F(UiDataTest, PastedLinksStartDownloadsThatTheMenusPauseResumeAndCancel) {
  StartData();
  const auto before = hub_.Current();
  const auto content = PseudoRandomBytes(5000, 7);
  const uint32_t key = Paste(content, "pasted song.ogg");
  EXPECT_GT(hub_.Current()[static_cast<size_t>(EChannel::kDownloads)],
            before[static_cast<size_t>(EChannel::kDownloads)]);

  const auto refused = data_.AddLink("ed2k://|file|x.bin|100|NOTAHASH|/");
  EXPECT_FALSE(refused.accepted);
  EXPECT_NE(refused.message.find("TARN cannot read this link"), std::string::npos)
      << refused.message;
  EXPECT_NE(refused.message.find("hash"), std::string::npos) << refused.message;

  EXPECT_EQ(data_.Verb(key, EDownloadVerb::kPause), S_OK);
  EXPECT_TRUE(WaitUntil([&] { return DownloadNamed("pasted song.ogg")->paused; }));
  EXPECT_EQ(data_.Verb(key, EDownloadVerb::kResume), S_OK);
  EXPECT_TRUE(WaitUntil([&] { return !DownloadNamed("pasted song.ogg")->paused; }));
  EXPECT_EQ(data_.Rename(EFolder::kIncoming, key, "renamed song.ogg"), S_OK);
  EXPECT_TRUE(WaitUntil([&] { return DownloadNamed("renamed song.ogg").has_value(); }));
  const auto details = data_.Details(EFolder::kIncoming, key);
  ASSERT_TRUE(details.has_value());
  EXPECT_EQ(details->name, "renamed song.ogg");
  EXPECT_EQ(details->size, 5000u);
  EXPECT_EQ(data_.Verb(key, EDownloadVerb::kCancel), S_OK);
  EXPECT_TRUE(WaitUntil([&] { return data_.Downloads()->empty(); }));
  EXPECT_NE(data_.Verb(key, EDownloadVerb::kPause), S_OK);
  EXPECT_TRUE(Prompts().empty()) << "a cancelled download prompts nothing";
}

// Without a notification server a completed download's prompt goes to the page, once; its
// "do not show again" turns the prompts off for good. The completed file shows in Shared.
TEST_F(UiDataTest, WithoutANotificationServerTheCompletionPromptGoesToThePage) {
  StartData();
  const auto first = PseudoRandomBytes(3000, 1);
  Paste(first, "first.ogg");
  P2P::test::DownloadAll(*Download(first), first);
  ASSERT_TRUE(WaitUntil([&] { return Prompts().size() == 1; }));
  EXPECT_EQ(Prompts()[0].name, "first.ogg");
  ASSERT_TRUE(WaitUntil([&] { return data_.SharedFiles()->size() == 1; }));
  EXPECT_EQ(data_.SharedFiles()->front().fullPath, Prompts()[0].fullPath);
  EXPECT_TRUE(data_.Downloads()->empty());

  EXPECT_FALSE(data_.AnswerCompletion(Prompts()[0].fullPath, false, true));
  const auto second = PseudoRandomBytes(4000, 2);
  Paste(second, "second.ogg");
  P2P::test::DownloadAll(*Download(second), second);
  ASSERT_TRUE(WaitUntil([&] { return data_.SharedFiles()->size() == 2; }));
  EXPECT_FALSE(WaitUntil([&] { return Prompts().size() > 1; }, std::chrono::milliseconds(300)));
}

// With a notification server the desktop shows the prompt and the page does not; the page's
// "Open Shared Folder" goes to the file manager like the notification's.
TEST_F(UiDataTest, ANotificationServerTakesThePromptFromThePage) {
  CNotificationRecorder desktop(/*fileManager=*/true);
  ASSERT_TRUE(desktop.Serving());
  StartData();
  const auto content = PseudoRandomBytes(3000, 3);
  Paste(content, "shown.ogg");
  P2P::test::DownloadAll(*Download(content), content);
  ASSERT_TRUE(WaitUntil([&] { return desktop.Notifications().size() == 1; }));
  EXPECT_FALSE(WaitUntil([&] { return !Prompts().empty(); }, std::chrono::milliseconds(300)));

  ASSERT_TRUE(WaitUntil([&] { return data_.SharedFiles()->size() == 1; }));
  const std::string path = data_.SharedFiles()->front().fullPath;
  EXPECT_TRUE(data_.AnswerCompletion(path, true, false));
  ASSERT_TRUE(WaitUntil([&] { return desktop.ShownFolders().size() == 1; }));
  EXPECT_EQ(desktop.ShownFolders()[0], shell::FileUri(std::filesystem::path(path).parent_path()));
}

// The band's search shows as searching, then as done, and streams its results into the
// results folder; a result downloads into Incoming. The status bar shows the server.
TEST_F(UiDataTest, ASearchFromTheBandEndsWithItsResultsShownAndOneDownloads) {
  IndexVideo("tarn sample movie.avi");
  StartData();
  ASSERT_TRUE(WaitUntil([&] { return module_->GetConnectionManager().IsConnected(); }));
  EXPECT_EQ(data_.SearchState(), ESearchState::kIdle);

  EXPECT_EQ(data_.Search({.keyword = "sample", .fileType = "", .minSize = {}, .maxSize = {}}),
            S_OK);
  EXPECT_NE(data_.SearchState(), ESearchState::kIdle);
  // Done once the search went to every server; the connected server's answer may follow.
  ASSERT_TRUE(WaitUntil([&] { return data_.SearchState() == ESearchState::kDone; }));
  ASSERT_TRUE(WaitUntil([&] { return data_.Results()->size() == 1; }));
  const auto results = data_.Results();
  EXPECT_EQ(results->front().name, "tarn sample movie.avi");

  EXPECT_EQ(data_.Download(results->front().key), S_OK);
  EXPECT_TRUE(WaitUntil([&] { return DownloadNamed("tarn sample movie.avi").has_value(); }));
  EXPECT_TRUE(WaitUntil([&] { return data_.Status().connected; }, std::chrono::seconds(3)));
}

// When the daemon goes away the page is told and its lists empty; when it comes back they
// load again, and calls reach the new daemon.
TEST_F(UiDataTest, ThePageFollowsTheDaemonAwayAndBack) {
  StartData();
  const auto content = PseudoRandomBytes(3000, 4);
  const uint32_t key = Paste(content, "kept.ogg");
  const auto before = hub_.Current()[static_cast<size_t>(EChannel::kDaemon)];

  bus_->Stop();
  bus_.reset();
  ASSERT_TRUE(WaitUntil([&] { return !data_.DaemonReachable() && data_.Downloads()->empty(); }));
  EXPECT_TRUE(
      WaitUntil([&] { return hub_.Current()[static_cast<size_t>(EChannel::kDaemon)] > before; }));

  bus_ = std::make_unique<CApiBus>(sdbus::createSessionBusConnection(), &lock_);
  ASSERT_TRUE(bus_->Start(AccessTo(*module_), CApiClient::kDefaultDestination));
  ASSERT_TRUE(WaitUntil([&] { return data_.DaemonReachable(); }));
  ASSERT_TRUE(WaitUntil([&] { return DownloadNamed("kept.ogg").has_value(); }));
  EXPECT_EQ(data_.Verb(key, EDownloadVerb::kPause), S_OK);
  EXPECT_TRUE(WaitUntil([&] { return DownloadNamed("kept.ogg")->paused; }));
}

}  // namespace
}  // namespace tarn::test
