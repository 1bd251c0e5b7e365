// A session's serving side on its own, over connections with no socket: the scheduler's call
// reaches the next waiting client through the context's registry when the slot holder is done,
// and asked ranges wait while the send queue is long, go out when it drains, and are held only
// up to the bound.
#include <gtest/gtest.h>

#include <memory>

#include "engine/net/PeerServing.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/FakeTransferData.h"
#include "tests/support/RecordingPeerLink.h"

namespace P2P {
namespace {

using namespace Protocol;
using Shared::File::TransferFile::CTARNNetTransferFile;
using Shared::File::TransferFile::CTransferFilePtr;

constexpr uint32_t kFileSize = 3 * 184320;

class PeerServingSideTest : public ::testing::Test {
 protected:
  PeerServingSideTest() {
    file_ = CTransferFilePtr(new CTARNNetTransferFile());
    _tagUnionHash hash;
    hash.bytes.fill(0x5A);
    file_->SetHash(hash);
    file_->SetSize(kFileSize);
    file_->AttachData(std::make_shared<tarn::test::FakeTransferData>(
        [](uint32_t start, uint32_t end, std::vector<uint8_t>& data) {
          data.assign(end - start, 0x3C);
          return true;
        },
        true));
    auto findFile = [this](const _tagUnionHash& wanted) {
      return wanted == file_->GetHash() ? file_ : CTransferFilePtr();
    };
    Client::_tagStructUploadSchedulerSettings settings;
    settings.slots = 1;
    service_ =
        std::make_unique<CTARNNetUploadService>(findFile, _tagStructUploadCreditHooks{}, settings);
    context_.findFile = findFile;
    context_.uploads = service_.get();
  }

  // A remote client known by its user hash.
  static Client::CClientPtr ClientOf(uint8_t user) {
    Client::CClientPtr client(new Client::CTARNNetClient);
    Protocol::_tagStructPeerIdentity identity;
    identity.userHash.bytes.fill(user);
    client->SetIdentity(identity);
    return client;
  }
  std::vector<uint8_t> Hash() const {
    const _tagUnionHash hash = file_->GetHash();
    return {hash.bytes.begin(), hash.bytes.end()};
  }
  // A block request of three ranges of `length` bytes from `first` on.
  std::vector<uint8_t> RequestParts(uint32_t first, uint32_t length) const {
    std::vector<uint8_t> payload = Hash();
    CStreamWriter writer(payload);
    for (uint32_t i = 0; i < 3; ++i) writer.WriteUInt32(first + i * length);
    for (uint32_t i = 0; i < 3; ++i) writer.WriteUInt32(first + (i + 1) * length);
    return payload;
  }

  CTransferFilePtr file_;
  _tagStructClientConfig own_;
  CPeerSessionContext context_{own_};
  std::unique_ptr<CTARNNetUploadService> service_;
};

TEST_F(PeerServingSideTest, TheFreedSlotCallsTheWaitingClientThroughTheRegistry) {
  tarn::test::RecordingPeerLink firstLink, secondLink;
  CTARNNetPeerServing first(context_, firstLink, ClientOf(1));
  CTARNNetPeerServing second(context_, secondLink, ClientOf(2));
  first.OnStartUploadRequest(Hash());
  second.OnStartUploadRequest(Hash());
  EXPECT_EQ(firstLink.TakeOpcodes(), std::vector<uint8_t>{kOpAcceptUploadRequest});
  EXPECT_EQ(secondLink.TakeOpcodes(), std::vector<uint8_t>{kOpQueueRank});
  EXPECT_EQ(context_.served.Size(), 2u);

  EXPECT_FALSE(first.FinishServedUpload(_tagUnionHash{}));  // not the file it was served
  EXPECT_TRUE(first.FinishServedUpload(file_->GetHash()));
  EXPECT_EQ(secondLink.TakeOpcodes(), std::vector<uint8_t>{kOpAcceptUploadRequest});
  EXPECT_EQ(context_.served.Size(), 1u);
  second.End();
  first.End();
  EXPECT_EQ(context_.served.Size(), 0u);
  EXPECT_EQ(service_->Scheduler().SlotsInUse(), 0u);
}

TEST_F(PeerServingSideTest, RangesWaitForTheSendQueueToDrainAndOnlyNineAreHeld) {
  tarn::test::RecordingPeerLink link;
  CTARNNetPeerServing serving(context_, link, ClientOf(1));
  serving.OnStartUploadRequest(Hash());
  link.Take();
  link.SetQueuedSendBytes(size_t{1} << 30);
  for (uint32_t request = 0; request < 4; ++request)
    serving.OnRequestParts(RequestParts(request * 3000, 1000), false);
  EXPECT_TRUE(link.Take().empty());

  link.SetQueuedSendBytes(0);
  serving.PumpUpload();
  uint32_t bytes = 0;
  for (const auto& packet : link.Take()) {
    ASSERT_EQ(packet.opcode, kOpSendingPart);
    bytes += static_cast<uint32_t>(packet.payload.size() - 24);
  }
  EXPECT_EQ(bytes, kMaxServeRanges * 1000);
  serving.End();
}

}  // namespace
}  // namespace P2P
