// A peer session serving a file above 4,290,048,000 bytes over loopback: a remote client whose
// hello takes large files gets every block of it in the 64-bit forms, whichever form asked;
// one whose hello does not is told the file is not there, while a small file goes to it in the
// 32-bit forms as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/protocol/Inflate.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/AcceptedPeerSession.h"
#include "tests/support/FakeTransferData.h"

namespace P2P {
namespace {

using namespace Protocol;
using Shared::File::TransferFile::CTARNNetTransferFile;
using Shared::File::TransferFile::CTransferFilePtr;

constexpr uint64_t kLargeSize = uint64_t{5} << 30;
constexpr uint64_t kSmallSize = 3 * 184320;

uint8_t PatternAt(uint64_t offset) {
  return static_cast<uint8_t>((offset * 7 >> 3) ^ (offset >> 32));
}
bool ReadPattern(uint64_t start, uint64_t end, std::vector<uint8_t>& data) {
  data.resize(end - start);
  for (uint64_t i = start; i < end; ++i) data[i - start] = PatternAt(i);
  return true;
}

struct SPacket {
  uint8_t protocol = 0;
  uint8_t opcode = 0;  // 0: the stream ended
  std::vector<uint8_t> body;
};

class LargeFileServeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    large_ = MakeFile(0x5A, "large.bin", kLargeSize);
    small_ = MakeFile(0x33, "small.bin", kSmallSize);
    auto findFile = [this](const _tagUnionHash& wanted) {
      for (const CTransferFilePtr& file : {large_, small_})
        if (wanted == file->GetHash()) return file;
      return CTransferFilePtr();
    };
    service_ = std::make_unique<CTARNNetUploadService>(findFile, _tagStructUploadCreditHooks{});
    service_->SetResumeHook([this] { context_.served.ResumeWaiting(); });
    context_.findFile = findFile;
    context_.uploads = service_.get();
    ASSERT_TRUE(Reconnect());
  }
  void TearDown() override {
    peer_.reset();
    service_.reset();
  }
  // A new connection from the remote client; the last one is closed.
  bool Reconnect() {
    peer_ = std::make_unique<tarn::test::AcceptedPeerSession>();
    return peer_->Open(context_, Client::CClientPtr(new Client::CTARNNetClient));
  }
  static CTransferFilePtr MakeFile(uint8_t hashByte, const std::string& name, uint64_t size) {
    CTransferFilePtr file(new CTARNNetTransferFile());
    _tagUnionHash hash;
    hash.bytes.fill(hashByte);
    file->SetHash(hash);
    file->SetName(name);
    file->SetSize(size);
    file->AttachData(std::make_shared<tarn::test::FakeTransferData>(&ReadPattern, true));
    return file;
  }
  static std::vector<uint8_t> HashOf(const CTransferFilePtr& file) {
    const _tagUnionHash hash = file->GetHash();
    return {hash.bytes.begin(), hash.bytes.end()};
  }
  SPacket Read() {
    const std::string packet = peer_->ReadPacket();
    if (packet.size() < 6) return {};
    return {static_cast<uint8_t>(packet[0]), static_cast<uint8_t>(packet[5]),
            std::vector<uint8_t>(packet.begin() + 6, packet.end())};
  }
  // Our hello, taking large files or not and packed blocks or not; true once answered.
  bool SayHello(bool largeFiles, bool packing) {
    _tagStructClientConfig remote;
    remote.userHash.bytes.fill(0x61);
    remote.tcpPort = 4662;
    remote.userName = "remote";
    remote.capabilities = packing ? kCapabilityWord : 0;
    remote.helloTagValues[2] = largeFiles ? kMiscOptions2LargeFiles : 0;
    if (!peer_->Send(kProtocolEDonkey, kOpPeerHello, BuildHelloPayload(remote, false)))
      return false;
    for (SPacket packet = Read(); packet.opcode != 0; packet = Read())
      if (packet.protocol == kProtocolEDonkey && packet.opcode == kOpHelloAnswer) return true;
    return false;
  }
  bool StartUpload(const CTransferFilePtr& file) {
    return peer_->Send(kProtocolEDonkey, kOpStartUploadRequest, HashOf(file)) &&
           Read().opcode == kOpAcceptUploadRequest;
  }
  void RequestParts(const CTransferFilePtr& file, uint64_t start, uint64_t end, bool wide) {
    std::vector<uint8_t> payload = HashOf(file);
    CStreamWriter writer(payload);
    for (const uint64_t offset : {start, uint64_t{0}, uint64_t{0}, end, uint64_t{0}, uint64_t{0}})
      if (wide)
        writer.WriteUInt64(offset);
      else
        writer.WriteUInt32(static_cast<uint32_t>(offset));
    ASSERT_TRUE(peer_->Send(wide ? kProtocolExtended : kProtocolEDonkey,
                            wide ? kOpRequestPartsWide : kOpRequestParts, payload));
  }
  // Reads the data packets of [start, end) as a downloader would, in the form `wide` says,
  // and checks each byte; a packet of any other form fails the test.
  void ExpectData(uint64_t start, uint64_t end, bool wide) {
    const size_t field = wide ? 8 : 4;
    const auto offset = [&](const std::vector<uint8_t>& body, size_t at) {
      uint64_t value = 0;
      std::memcpy(&value, body.data() + at, field);
      return value;
    };
    std::vector<uint8_t> packed;
    uint64_t next = start;
    while (next < end) {
      const SPacket packet = Read();
      ASSERT_GE(packet.body.size(), 16 + 2 * field) << "at " << next;
      const uint64_t first = offset(packet.body, 16), third = offset(packet.body, 16 + field);
      const std::span<const uint8_t> data(packet.body.begin() + 16 + 2 * field, packet.body.end());
      std::vector<uint8_t> bytes;
      if (packet.opcode == (wide ? kOpCompressedPartWide : kOpCompressedPart)) {
        ASSERT_EQ(packet.protocol, kProtocolExtended);
        ASSERT_EQ(first, next);
        packed.insert(packed.end(), data.begin(), data.end());
        if (packed.size() < third) continue;
        ASSERT_TRUE(InflatePacked(packed, bytes));
        packed.clear();
      } else {
        ASSERT_EQ(packet.opcode, wide ? kOpSendingPartWide : kOpSendingPart);
        ASSERT_EQ(packet.protocol, wide ? kProtocolExtended : kProtocolEDonkey);
        ASSERT_EQ(first, next);
        ASSERT_EQ(third - first, data.size());
        bytes.assign(data.begin(), data.end());
      }
      for (size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], PatternAt(next + i)) << next + i;
      next += bytes.size();
    }
    EXPECT_EQ(next, end);
  }

  _tagStructClientConfig own_;
  CTransferFilePtr large_;
  CTransferFilePtr small_;
  CPeerSessionContext context_{own_};
  std::unique_ptr<CTARNNetUploadService> service_;
  std::unique_ptr<tarn::test::AcceptedPeerSession> peer_;
};

TEST_F(LargeFileServeTest, EveryBlockOfALargeFileGoesInTheWideFormsPlainAndPacked) {
  for (const bool packing : {false, true}) {
    SCOPED_TRACE(packing);
    ASSERT_TRUE(Reconnect());
    ASSERT_TRUE(SayHello(true, packing));
    ASSERT_TRUE(StartUpload(large_));
    // Across 32 bits, at the end of the file, and at its start asked in the 32-bit form.
    const uint64_t across = (uint64_t{1} << 32) - 1000;
    RequestParts(large_, across, across + 184320, true);
    ExpectData(across, across + 184320, true);
    RequestParts(large_, kLargeSize - 5000, kLargeSize, true);
    ExpectData(kLargeSize - 5000, kLargeSize, true);
    RequestParts(large_, 0, 20000, false);
    ExpectData(0, 20000, true);
    // Past the end: refused, nothing read.
    RequestParts(large_, kLargeSize - 100, kLargeSize + 100, true);
    EXPECT_EQ(Read().opcode, kOpOutOfPartRequests);
  }
}

TEST_F(LargeFileServeTest, SmallFilesKeepTheNarrowFormsEvenWhenAskedInTheWideOne) {
  ASSERT_TRUE(SayHello(true, false));
  ASSERT_TRUE(StartUpload(small_));
  RequestParts(small_, 1000, 30000, true);
  ExpectData(1000, 30000, false);
  RequestParts(small_, 30000, 60000, false);
  ExpectData(30000, 60000, false);
}

TEST_F(LargeFileServeTest, AClientWithoutTheLargeFileBitIsNeverOfferedALargeFile) {
  ASSERT_TRUE(SayHello(false, false));
  // Small files as before.
  ASSERT_TRUE(peer_->Send(kProtocolEDonkey, kOpRequestFileName, HashOf(small_)));
  EXPECT_EQ(Read().opcode, kOpFileNameAnswer);
  ASSERT_TRUE(StartUpload(small_));
  RequestParts(small_, 0, 10000, false);
  ExpectData(0, 10000, false);
  // Any request for the large file is answered as for a file we do not have.
  for (const auto& [protocol, opcode] : {std::pair{kProtocolEDonkey, kOpRequestFileName},
                                         {kProtocolEDonkey, kOpSetRequestedFile},
                                         {kProtocolEDonkey, kOpStartUploadRequest},
                                         {kProtocolExtended, kOpRequestSources},
                                         {kProtocolExtended, kOpMultiPacket}}) {
    SCOPED_TRACE(static_cast<int>(opcode));
    ASSERT_TRUE(Reconnect());
    ASSERT_TRUE(SayHello(false, false));
    std::vector<uint8_t> payload = HashOf(large_);
    if (opcode == kOpMultiPacket) payload.push_back(kOpRequestFileName);
    ASSERT_TRUE(peer_->Send(protocol, opcode, payload));
    const SPacket answer = Read();
    EXPECT_EQ(answer.opcode, kOpFileNotFound);
    EXPECT_EQ(answer.body, HashOf(large_));
    EXPECT_EQ(Read().opcode, 0);  // and the session ends, as for any unknown file
  }
  // Blocks of it are not sent either.
  ASSERT_TRUE(Reconnect());
  ASSERT_TRUE(SayHello(false, false));
  RequestParts(large_, 0, 10000, true);
  EXPECT_EQ(Read().opcode, kOpFileNotFound);
}

}  // namespace
}  // namespace P2P
