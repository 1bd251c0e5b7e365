#include <gtest/gtest.h>

#include "engine/download/DownloadFileManager.h"
#include "platform/Folders.h"
#include "shell/CompletionPrompt.h"
#include "shell/DesktopRegistration.h"
#include "shell/FolderOpener.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/shell_bus/MirrorFixture.h"
#include "tests/shell_bus/NotificationRecorder.h"

namespace tarn::test {
namespace {

class CompletionPromptTest : public MirrorTest {
 protected:
  // Starts a download of `size` bytes named `name`; returns its content.
  std::vector<uint8_t> Start(const std::string& name, size_t size, uint32_t seed) {
    auto content = PseudoRandomBytes(size, seed);
    const auto record = P2P::test::RecordFor(content, name);
    const std::string hash = record.hash.ToHex();
    EXPECT_EQ(manager_->AddDownload(&hash, static_cast<int32_t>(size), std::nullopt, name), S_OK);
    return content;
  }
  P2P::Shared::File::TransferFile::CTransferFilePtr Download(const std::vector<uint8_t>& content) {
    return module_->GetDownloadFileManager().List().FindByHash(
        P2P::test::RecordFor(content, "").hash);
  }
  // The download mirror with the prompt and a replaying listener, started.
  void StartMirror() {
    prompt_ = std::make_shared<shell::CCompletionPrompt>(
        OSTREL::Platform::CFolders::RegistryFolder(), SessionBusClient());
    replay_ =
        std::make_shared<CReplayListener<SDownloadRecord>>([&] { return downloads_.Snapshot(); });
    downloads_.AddListener(prompt_);
    downloads_.AddListener(replay_);
    downloads_.Start();
  }
  void TearDown() override {
    downloads_.Stop();
    MirrorTest::TearDown();
  }

  shell::CTARNDownloadFileList downloads_{SessionBusClient()};
  std::shared_ptr<shell::CCompletionPrompt> prompt_;
  std::shared_ptr<CReplayListener<SDownloadRecord>> replay_;
};

// One prompt per completed download, with the prompt's texts; none for a cancelled one. Its
// "Open Shared Folder" shows the folder through the file manager; "Do not show this again"
// sets "Download Complete Alert" to 0, and then no download prompts.
TEST_F(CompletionPromptTest, OnePromptPerCompletedDownloadUntilTheUserSaysNever) {
  CNotificationRecorder desktop(/*fileManager=*/true);
  ASSERT_TRUE(desktop.Serving());
  StartMirror();
  EXPECT_TRUE(prompt_->Enabled());

  const auto first = Start("first.ogg", 3000, 1);
  const auto second = Start("second.ogg", 4000, 2);
  const auto cancelled = Start("cancelled.ogg", 5000, 3);
  P2P::test::DownloadAll(*Download(first), first);
  P2P::test::DownloadAll(*Download(second), second);
  ASSERT_TRUE(module_->GetDownloadFileManager().CancelDownload(Download(cancelled)));
  ASSERT_TRUE(WaitUntil([&] { return replay_->Removed().size() == 3; }));
  ASSERT_TRUE(WaitUntil([&] { return desktop.Notifications().size() == 2; }));
  ASSERT_FALSE(WaitUntil([&] { return desktop.Notifications().size() > 2; },
                         std::chrono::milliseconds(300)));
  const auto shown = desktop.Notifications();
  EXPECT_EQ(shown[0].summary, "Download Completed");
  EXPECT_EQ(shown[0].body, "first.ogg downlaod complete.Do you want to go Shared Folder?");
  EXPECT_EQ(shown[1].body, "second.ogg downlaod complete.Do you want to go Shared Folder?");
  EXPECT_NE(std::find(shown[0].actions.begin(), shown[0].actions.end(), "Open Shared Folder"),
            shown[0].actions.end());

  desktop.InvokeAction(shown[0].id, "open-shared-folder");
  ASSERT_TRUE(WaitUntil([&] { return desktop.ShownFolders().size() == 1; }));
  std::string sharedPath;
  std::shared_ptr<IP2PConfig> config;
  ASSERT_EQ(manager_->get_Config(&config), S_OK);
  ASSERT_EQ(config->get_SharedPath(&sharedPath), S_OK);
  EXPECT_EQ(desktop.ShownFolders()[0], shell::FileUri(sharedPath));

  desktop.InvokeAction(shown[1].id, "never");
  ASSERT_TRUE(WaitUntil([&] { return !prompt_->Enabled(); }));
  const auto third = Start("third.ogg", 2000, 4);
  P2P::test::DownloadAll(*Download(third), third);
  ASSERT_TRUE(WaitUntil([&] { return replay_->Removed().size() == 4; }));
  EXPECT_FALSE(WaitUntil([&] { return desktop.Notifications().size() > 2; },
                         std::chrono::milliseconds(300)));
}

// Without a notification server a completion costs nothing but the missing prompt.
TEST_F(CompletionPromptTest, NoNotificationServerIsNoFailure) {
  StartMirror();
  const auto content = Start("alone.ogg", 3000, 5);
  P2P::test::DownloadAll(*Download(content), content);
  ASSERT_TRUE(WaitUntil([&] { return replay_->Removed().size() == 1; }));
  EXPECT_TRUE(shell::IsCompletion(shell::EMirrorChange::kRemoved, &replay_->Removed()[0]));
}

}  // namespace
}  // namespace tarn::test
