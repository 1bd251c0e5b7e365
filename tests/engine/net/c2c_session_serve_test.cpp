// A peer session serving a real downloader over loopback: the grant comes from the upload
// service, asked ranges arrive as data packets with the file's bytes, in order and whole.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/AcceptedPeerSession.h"
#include "tests/support/FakeTransferData.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using namespace Protocol;
using Shared::File::TransferFile::CTARNNetTransferFile;
using Shared::File::TransferFile::CTransferFilePtr;

constexpr uint32_t kFileSize = 3 * 184320 + 77;

uint8_t PatternAt(uint32_t offset) { return static_cast<uint8_t>(offset * 7 >> 3); }
bool ReadPattern(uint32_t start, uint32_t end, std::vector<uint8_t>& data) {
  data.resize(end - start);
  for (uint32_t i = start; i < end; ++i) data[i - start] = PatternAt(i);
  return true;
}

class C2CSessionServeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = CTransferFilePtr(new CTARNNetTransferFile());
    _tagUnionHash hash;
    hash.bytes.fill(0x5A);
    file_->SetHash(hash);
    file_->SetName("served.bin");
    file_->SetSize(kFileSize);
    file_->AttachData(std::make_shared<tarn::test::FakeTransferData>(&ReadPattern, true));
    auto findFile = [this](const _tagUnionHash& wanted) {
      return wanted == file_->GetHash() ? file_ : CTransferFilePtr();
    };
    service_ = std::make_unique<CTARNNetUploadService>(findFile, _tagStructUploadCreditHooks{});
    service_->SetResumeHook([this] { context_.served.ResumeWaiting(); });
    context_.findFile = findFile;
    context_.uploads = service_.get();

    ASSERT_TRUE(peer_.Open(context_, Client::CClientPtr(new Client::CTARNNetClient)));
    session_ = peer_.Session();
  }
  void TearDown() override {
    peer_.Close();
    service_.reset();
  }
  std::vector<uint8_t> Hash() const {
    const _tagUnionHash hash = file_->GetHash();
    return {hash.bytes.begin(), hash.bytes.end()};
  }
  void Send(uint8_t opcode, const std::vector<uint8_t>& payload) {
    ASSERT_TRUE(peer_.Send(kProtocolEDonkey, opcode, payload));
  }
  // Opcode and body after the opcode; opcode 0 when the stream ended.
  std::pair<uint8_t, std::string> Read() {
    const std::string packet = peer_.ReadPacket();
    if (packet.size() < 6) return {};
    return {static_cast<uint8_t>(packet[5]), packet.substr(6)};
  }
  void RequestParts(std::array<uint32_t, 3> starts, std::array<uint32_t, 3> ends) {
    std::vector<uint8_t> payload = Hash();
    CStreamWriter writer(payload);
    for (uint32_t start : starts) writer.WriteUInt32(start);
    for (uint32_t end : ends) writer.WriteUInt32(end);
    Send(kOpRequestParts, payload);
  }

  _tagStructClientConfig own_;
  CTransferFilePtr file_;
  CPeerSessionContext context_{own_};
  std::unique_ptr<CTARNNetUploadService> service_;
  tarn::test::AcceptedPeerSession peer_;
  CTARNNetC2CTCPConnecterT* session_ = nullptr;
};

TEST_F(C2CSessionServeTest, AskedRangesArriveWholeInOrderInPacketsOfAtMostTenKiB) {
  Send(kOpStartUploadRequest, Hash());
  EXPECT_EQ(Read().first, kOpAcceptUploadRequest);
  // Three blocks, the last one running to the file's end.
  RequestParts({0, 184320, 2 * 184320}, {184320, 2 * 184320, kFileSize});
  uint32_t next = 0;
  while (next < kFileSize) {
    const auto [opcode, body] = Read();
    ASSERT_EQ(opcode, kOpSendingPart) << "at " << next;
    ASSERT_GE(body.size(), 24u);
    uint32_t start = 0, end = 0;
    std::memcpy(&start, body.data() + 16, 4);
    std::memcpy(&end, body.data() + 20, 4);
    ASSERT_EQ(start, next);
    ASSERT_EQ(end - start, body.size() - 24);
    ASSERT_LE(end - start, kMaxDataPacketBytes);
    for (uint32_t i = start; i < end; ++i)
      ASSERT_EQ(static_cast<uint8_t>(body[24 + i - start]), PatternAt(i)) << i;
    next = end;
  }
}

TEST_F(C2CSessionServeTest, RangesAskedWithoutASlotAreAnsweredWithTheQueueRank) {
  service_->Scheduler().SetSlots(0);
  Send(kOpStartUploadRequest, Hash());
  EXPECT_EQ(Read().first, kOpQueueRank);
  RequestParts({0, 0, 0}, {1000, 0, 0});
  EXPECT_EQ(Read().first, kOpQueueRank);
  EXPECT_TRUE(session_->IsOpen());
}

TEST_F(C2CSessionServeTest, EndOfDownloadFreesTheSlotAndClosesTheSession) {
  Send(kOpStartUploadRequest, Hash());
  ASSERT_EQ(Read().first, kOpAcceptUploadRequest);
  ASSERT_EQ(service_->Scheduler().SlotsInUse(), 1u);
  Send(kOpEndOfDownload, Hash());
  EXPECT_EQ(Read().first, 0);
  EXPECT_TRUE(tarn::test::WaitUntil([this] { return service_->Scheduler().SlotsInUse() == 0; }));
  EXPECT_EQ(service_->Scheduler().QueueLength(), 0u);
}

TEST_F(C2CSessionServeTest, ARangeSentInASlotGoesOutAgainOnlyInTheNextSlot) {
  Send(kOpStartUploadRequest, Hash());
  ASSERT_EQ(Read().first, kOpAcceptUploadRequest);
  auto dataRange = [this] {
    const auto [opcode, body] = Read();
    uint32_t start = 0, end = 0;
    if (opcode == kOpSendingPart && body.size() >= 24) {
      std::memcpy(&start, body.data() + 16, 4);
      std::memcpy(&end, body.data() + 20, 4);
    }
    return std::pair(start, end);
  };
  RequestParts({0, 0, 0}, {1000, 0, 0});
  EXPECT_EQ(dataRange(), std::pair(0u, 1000u));
  // Asked again with a new range: only the new one comes.
  RequestParts({0, 1000, 0}, {1000, 2000, 0});
  EXPECT_EQ(dataRange(), std::pair(1000u, 2000u));
  // The slot passes to another and comes back: a new slot sends anything asked.
  session_->Session().Serving().OnUploadRotated();
  EXPECT_EQ(Read().first, kOpQueueRank);
  session_->Session().Serving().OnUploadCalled();
  EXPECT_EQ(Read().first, kOpAcceptUploadRequest);
  RequestParts({0, 0, 0}, {1000, 0, 0});
  EXPECT_EQ(dataRange(), std::pair(0u, 1000u));
}

}  // namespace
}  // namespace P2P
