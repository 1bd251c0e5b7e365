#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "engine/hashing/HashConstants.h"
#include "engine/net/TARNNetUploadService.h"
#include "engine/protocol/C2CUDPDispatcher.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/protocol/PeerUploadMessages.h"
#include "tests/support/FakeTransferData.h"
#include "tests/support/ManualClock.h"

namespace P2P {
namespace {

using Client::EUploadAdmission;
using Shared::File::TransferFile::_tagStructRequestRecord;
using Shared::File::TransferFile::CTARNNetTransferFile;
using Shared::File::TransferFile::CTransferFilePtr;
using Shared::File::TransferFile::EUploadRead;

constexpr uint32_t kPart = HASH::kPartSize;
constexpr uint32_t kBlock = 184320;

_tagUnionHash Hash(uint8_t fill) {
  _tagUnionHash hash;
  hash.bytes.fill(fill);
  return hash;
}

_tagStructUploadPeer Peer(uint8_t n) {
  return {Hash(n), 0x0100007Fu + (uint32_t{n} << 24), static_cast<uint16_t>(4672 + n), 0};
}

_tagStructRequestRecord Request(uint32_t start, uint32_t end) {
  _tagStructRequestRecord request;
  request.start = {start, 0, 0};
  request.end = {end, 0, 0};
  return request;
}

// A download of two parts and a bit with its first part verified, its data made on the fly.
bool ReadPattern(uint32_t start, uint32_t end, std::vector<uint8_t>& data) {
  data.resize(end - start);
  for (uint32_t i = start; i < end; ++i) data[i - start] = static_cast<uint8_t>(i * 7 >> 3);
  return true;
}

class UploadServiceTest : public ::testing::Test {
 protected:
  UploadServiceTest() {
    file_ = CTransferFilePtr(new CTARNNetTransferFile());
    file_->SetHash(Hash(0xF0));
    file_->SetName("video.mkv");
    file_->SetSize(2 * kPart + 1000);
    file_->AttachData(std::make_shared<tarn::test::FakeTransferData>(&ReadPattern, false));
    file_->CompletionBitmap() = {1, 0, 0};
  }

  CTARNNetUploadService Make(uint32_t slots) {
    _tagStructUploadCreditHooks hooks;
    hooks.modifier = [this](const _tagUnionHash& user) {
      return modifiers_.count(user) != 0 ? modifiers_[user] : 1.0;
    };
    hooks.addUploaded = [this](const _tagUnionHash& user, uint64_t bytes) {
      uploaded_[user] += bytes;
    };
    Client::_tagStructUploadSchedulerSettings settings;
    settings.slots = slots;
    return CTARNNetUploadService(
        [this](const _tagUnionHash& hash) {
          return hash == file_->GetHash() ? file_ : CTransferFilePtr();
        },
        hooks, settings);
  }

  tarn::test::ManualClock clock_;
  CTransferFilePtr file_;
  std::map<_tagUnionHash, double> modifiers_;
  std::map<_tagUnionHash, uint64_t> uploaded_;
};

TEST_F(UploadServiceTest, OneSlotServesOneWhileTheOthersGetRanksAndCreditDecides) {
  auto service = Make(1);
  EXPECT_EQ(service.OnStartUploadRequest(Peer(1), file_->GetHash()),
            (std::vector<uint8_t>{0xE3, 1, 0, 0, 0, Protocol::kOpAcceptUploadRequest}));
  EXPECT_EQ(service.OnStartUploadRequest(Peer(2), file_->GetHash()), Protocol::BuildQueueRank(1));
  modifiers_[Hash(3)] = 3.0;
  EXPECT_EQ(service.OnStartUploadRequest(Peer(3), file_->GetHash()),
            Protocol::BuildQueueRank(2));  // same wait, arrived later
  clock_.Advance(20000);
  EXPECT_EQ(service.QueueRankPacket(Hash(3)), Protocol::BuildQueueRank(1));

  std::vector<uint8_t> out;
  const auto served = service.Serve(Peer(1), file_->GetHash(), Request(0, kBlock), 0, out);
  EXPECT_EQ(served.status, EUploadServe::kServed);
  EXPECT_EQ(served.bytes, kBlock);
  EXPECT_EQ(uploaded_[Hash(1)], kBlock);
  EXPECT_GT(out.size(), kBlock);  // plain: a video is not worth packing
  // Waiting clients are not served.
  out.clear();
  EXPECT_EQ(service.Serve(Peer(2), file_->GetHash(), Request(0, kBlock), 0, out).status,
            EUploadServe::kNotUploading);
  EXPECT_TRUE(out.empty());

  const auto events = service.OnUploadFinished(Hash(1));
  EXPECT_EQ(events.called, std::vector<_tagUnionHash>{Hash(3)});
}

TEST_F(UploadServiceTest, ServesVerifiedRangesInOrderAndStopsAtTheFirstRefusal) {
  auto service = Make(1);
  service.OnStartUploadRequest(Peer(1), file_->GetHash());
  _tagStructRequestRecord request;
  request.start = {kPart - kBlock, kPart - 10, 0};
  request.end = {kPart, kPart + 10, 0};  // the second range runs into an unverified part
  std::vector<uint8_t> out;
  auto result = service.Serve(Peer(1), file_->GetHash(), request, 0, out);
  EXPECT_EQ(result.status, EUploadServe::kRefused);
  EXPECT_EQ(result.refusal, EUploadRead::kNotVerified);
  EXPECT_EQ(result.served, 1u);
  EXPECT_EQ(result.bytes, kBlock);
  EXPECT_EQ(uploaded_[Hash(1)], kBlock);  // the refused range is not counted

  out.clear();
  result = service.Serve(Peer(1), Hash(0x99), Request(0, 10), 0, out);
  EXPECT_EQ(result.refusal, EUploadRead::kUnknownFile);
  result = service.Serve(Peer(1), file_->GetHash(), Request(2 * kPart, 2 * kPart + 2000), 0, out);
  EXPECT_EQ(result.refusal, EUploadRead::kOutsideFile);
  EXPECT_TRUE(out.empty());
}

TEST_F(UploadServiceTest, SlotRotatesAfterAPartsWorthAndTheQueueMoves) {
  auto service = Make(1);
  service.OnStartUploadRequest(Peer(1), file_->GetHash());
  clock_.Advance(1000);
  service.OnStartUploadRequest(Peer(2), file_->GetHash());
  _tagStructRequestRecord request;
  request.start = {0, kBlock, 2 * kBlock};
  request.end = {kBlock, 2 * kBlock, 3 * kBlock};
  uint64_t sent = 0;
  std::vector<uint8_t> out;
  for (int i = 0; i < 100; ++i) {
    out.clear();
    const auto result = service.Serve(Peer(1), file_->GetHash(), request, 0, out);
    sent += result.bytes;
    if (result.status == EUploadServe::kSlotUsedUp) break;
    ASSERT_EQ(result.status, EUploadServe::kServed);
  }
  EXPECT_GE(sent, kPart);
  EXPECT_LT(sent, kPart + kBlock);
  const auto events = service.Tick();
  EXPECT_EQ(events.rotated, std::vector<_tagUnionHash>{Hash(1)});
  EXPECT_EQ(events.called, std::vector<_tagUnionHash>{Hash(2)});
  EXPECT_EQ(service.QueueRankPacket(Hash(1)), Protocol::BuildQueueRank(1));
  EXPECT_EQ(service.Serve(Peer(1), file_->GetHash(), request, 0, out).status,
            EUploadServe::kNotUploading);
}

TEST_F(UploadServiceTest, MaxUploadHoldsTheRateWithinTenPercent) {
  auto service = Make(4);
  _tagStructClientConfig config;
  config.uploadSlots = 4;
  config.maxUploadKiB = 1024;
  service.ApplyConfig(config);
  for (uint8_t n = 1; n <= 3; ++n) service.OnStartUploadRequest(Peer(n), file_->GetHash());
  // Three sessions asking for block after block for 20 simulated seconds; slots never rotate
  // inside that time for want of waiters.
  uint64_t sent = 0;
  std::vector<uint8_t> out;
  for (int ms = 0; ms < 20000; ms += 5) {
    for (uint8_t n = 1; n <= 3; ++n) {
      out.clear();
      const uint32_t start = (static_cast<uint32_t>(ms) * kBlock) % (kPart - kBlock);
      const auto result =
          service.Serve(Peer(n), file_->GetHash(), Request(start, start + kBlock), 0, out);
      sent += result.bytes;
      if (result.status == EUploadServe::kRateLimited) {
        EXPECT_GT(result.waitMs, 0u);
      }
    }
    clock_.Advance(5);
  }
  EXPECT_NEAR(static_cast<double>(sent) / 20.0, 1024.0 * 1024, 0.1 * 1024 * 1024);
}

TEST_F(UploadServiceTest, UdpReaskIsAnsweredFromTheQueue) {
  auto service = Make(1);
  service.OnStartUploadRequest(Peer(1), file_->GetHash());
  service.OnStartUploadRequest(Peer(2), file_->GetHash());
  const Protocol::SUdpSender from{Peer(2).address, Peer(2).udpPort};
  EXPECT_EQ(service.OnReaskPing(from, file_->GetHash()),
            (std::vector<uint8_t>{0xC5, Protocol::kOpReaskAck, 1, 0}));
  EXPECT_EQ(service.OnReaskPing(from, Hash(0x99)),
            (std::vector<uint8_t>{0xC5, Protocol::kOpUdpFileNotFound}));
  // A waiter whose session closed keeps its place; its slot call waits for a reconnect.
  service.OnSessionClosed(Hash(2));
  EXPECT_TRUE(service.OnUploadFinished(Hash(1)).called.empty());
  EXPECT_EQ(service.OnSessionOpened(Hash(2)).called, std::vector<_tagUnionHash>{Hash(2)});
}

}  // namespace
}  // namespace P2P
