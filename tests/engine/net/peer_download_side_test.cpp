// A session's download side on its own, over a connection with no socket: the grant starts the
// block requests, a queue rank gives the blocks asked back to the download, received data is
// credited to its sender and pauses reading while "Max Download" is in debt, and a file-not-found
// answer ends the request only when it names a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/download/DownloadFileData.h"
#include "engine/net/PeerDownload.h"
#include "engine/net/TARNNetTransferBudget.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "framework/CriticalSection.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RecordingPeerLink.h"
#include "tests/support/Sandbox.h"

namespace P2P {
namespace {

using namespace Protocol;
using Shared::File::TransferFile::CTARNNetDownloadFileData;
using Shared::File::TransferFile::CTARNNetTransferFile;
using Shared::File::TransferFile::CTransferFilePtr;

class PeerDownloadSideTest : public ::testing::Test {
 protected:
  PeerDownloadSideTest() : content_(tarn::test::PseudoRandomBytes(9728000 + 5000, 21)) {
    std::filesystem::create_directories(sandbox_ / "temp");
    file_ = CTransferFilePtr(new CTARNNetTransferFile(test::RecordFor(content_, "side.bin")));
    data_ = CTARNNetDownloadFileData::Attach(file_, nullptr);
    EXPECT_TRUE(data_->Create((sandbox_ / "temp").string(), nullptr));
    {
      OSTREL::Process::CLock guard(file_->LockObject());
      test::GivePartHashes(*file_, content_);
    }
    context_.findFile = [this](const _tagUnionHash& hash) {
      return hash == file_->GetHash() ? file_ : CTransferFilePtr();
    };
    user_.bytes.fill(0x66);
    const _tagUnionHash wanted = file_->GetHash();
    client_->Initialise(0x0200007F, 4662, 0, 0, &wanted, &user_);
  }
  ~PeerDownloadSideTest() override { data_->Detach(); }

  size_t RequestedBlocks() {
    OSTREL::Process::CLock guard(file_->LockObject());
    return data_->Blocks().Requested().Size();
  }
  // A sending-part packet with `length` bytes of the content from `start`.
  std::vector<uint8_t> SendingPart(uint32_t start, uint32_t length) const {
    std::vector<uint8_t> payload;
    CStreamWriter writer(payload);
    writer.WriteHash(file_->GetHash());
    writer.WriteUInt32(start);
    writer.WriteUInt32(start + length);
    writer.WriteBytes(std::span(content_).subspan(start, length));
    return payload;
  }

  tarn::test::Sandbox sandbox_;
  std::vector<uint8_t> content_;
  CTransferFilePtr file_;
  Shared::File::TransferFile::CDownloadFileDataPtr data_;
  _tagStructClientConfig own_;
  CPeerSessionContext context_{own_};
  _tagUnionHash user_;
  Client::CClientPtr client_{new Client::CTARNNetClient};
  tarn::test::RecordingPeerLink link_;
};

TEST_F(PeerDownloadSideTest, AQueueRankGivesTheAskedBlocksBackAndWaitsLonger) {
  CTARNNetPeerDownload download(context_, link_, client_);
  download.OnAcceptUpload();
  const auto sent = link_.Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].opcode, kOpRequestParts);
  EXPECT_EQ(client_->GetDownloadState(), Client::kDownloadBlocksRequested);
  EXPECT_EQ(RequestedBlocks(), 3u);

  download.OnQueueRank(5);
  EXPECT_EQ(client_->GetDownloadState(), Client::kDownloadQueued);
  EXPECT_EQ(client_->GetRemoteQueueRank(), 5);
  EXPECT_EQ(link_.IdleLimit(), CTARNNetPeerDownload::kQueuedIdleTimeout);
  // Other sources may be asked for them now.
  EXPECT_EQ(RequestedBlocks(), 0u);
}

TEST_F(PeerDownloadSideTest, ReceivedBytesAreCreditedAndPauseReadingWhileTheAllowanceIsInDebt) {
  tarn::test::ManualClock clock;
  std::map<uint8_t, uint64_t> credited;
  CTARNNetTransferBudget budget(
      [&](const _tagUnionHash& user, uint64_t bytes) { credited[user.bytes[0]] += bytes; });
  _tagStructClientConfig limits;
  limits.maxDownloadKiB = 1;
  budget.ApplyConfig(limits);
  context_.budget = &budget;
  CTARNNetPeerDownload download(context_, link_, client_);
  download.OnAcceptUpload();
  link_.Take();

  download.OnData(SendingPart(0, 1000), false, false);  // within the bucket's first fill
  EXPECT_FALSE(link_.ReadingPaused());
  download.OnData(SendingPart(1000, 9000), false, false);
  EXPECT_TRUE(link_.ReadingPaused());
  EXPECT_EQ(credited[0x66], 10000u);
  EXPECT_EQ(file_->Data()->ReceivedBytes(), 10000u);
  // The budget's wake-up resumes every connection that paused.
  context_.pausedReaders.ResumeAll();
  EXPECT_FALSE(link_.ReadingPaused());
  download.End();
  EXPECT_EQ(RequestedBlocks(), 0u);
}

TEST_F(PeerDownloadSideTest, FileNotFoundEndsTheRequestOnlyWhenItNamesAFile) {
  CTARNNetPeerDownload download(context_, link_, client_);
  client_->SetDownloadState(Client::kDownloadRequesting);
  download.OnFileNotFound(std::vector<uint8_t>(15, 0x11));
  EXPECT_TRUE(link_.IsOpen());
  EXPECT_EQ(client_->GetDownloadState(), Client::kDownloadRequesting);
  download.OnFileNotFound(std::vector<uint8_t>(16, 0x11));
  EXPECT_FALSE(link_.IsOpen());
  EXPECT_EQ(client_->GetDownloadState(), Client::kDownloadIdle);
}

}  // namespace
}  // namespace P2P
