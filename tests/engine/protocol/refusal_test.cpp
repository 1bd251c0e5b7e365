// The readers say which field they refused and which limit it passed.
#include "engine/protocol/Refusal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/protocol/C2CRecvUDPPacket.h"
#include "engine/protocol/C2STCPDispatcher.h"
#include "engine/protocol/C2SUDPDispatcher.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/protocol/RecvTCPPacket.h"
#include "engine/protocol/ServerMessages.h"
#include "engine/protocol/Tag.h"

namespace P2P::Protocol {
namespace {

using Bytes = std::vector<uint8_t>;
using R = ERefusalReason;

Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}
const Bytes kHash(16, 0x11);

SRefusal TagRefusal(const Bytes& encoded) {
  CStreamReader reader(encoded);
  _tagStructTag tag;
  EXPECT_FALSE(tag.ReadTag(reader));
  return reader.Refusal();
}

TEST(RefusalTest, TagReaderNamesTheFieldAndTheLimit) {
  const SRefusal blob = TagRefusal(Cat({{0x87, 0x01}, Le32(kMaxTagBlobLength + 1)}));
  EXPECT_EQ(blob.field, "tag blob length");
  EXPECT_EQ(blob.reason, R::kOverLimit);
  EXPECT_EQ(blob.value, kMaxTagBlobLength + 1u);
  EXPECT_EQ(blob.limit, kMaxTagBlobLength);

  const SRefusal type = TagRefusal({0x8B, 0x01, 0});
  EXPECT_EQ(type.field, "tag type");
  EXPECT_EQ(type.reason, R::kUnknownType);
  EXPECT_EQ(type.value, 0x0Bu);

  // A string whose length runs past the bytes: the value is cut short, by how much is kept.
  const SRefusal cut = TagRefusal({0x82, 0x01, 0x05, 0x00, 'a', 'b'});
  EXPECT_EQ(cut.field, "tag value");
  EXPECT_EQ(cut.reason, R::kTruncated);
  EXPECT_EQ(cut.value, 5u);
  EXPECT_EQ(cut.limit, 2u);

  CStreamReader reader(kHash);
  std::vector<_tagStructTag> tags;
  EXPECT_FALSE(ReadTags(reader, kMaxTagsPerList + 1, tags));
  EXPECT_EQ(reader.Refusal().field, "tag count");
  EXPECT_EQ(reader.Refusal().limit, kMaxTagsPerList);
  EXPECT_EQ(DescribeRefusal(reader.Refusal()), "tag count over limit (1025 > 1024)");
}

// Keeps the refusal the dispatcher reports.
struct RefusalRecorder : ITARNNetC2STCPEventDispatcher {
  uint8_t opcode = 0;
  SRefusal refusal;
  int refusals = 0;
  void OnServerMessage(const std::string&) override {}
  void OnIdChange(uint32_t, uint32_t) override {}
  void OnSearchResultEnd(bool) override {}
  void OnFoundSources(const SFoundSources&) override {}
  void OnServerStatus(uint32_t, uint32_t) override {}
  void OnServerIdent(const SServerIdent&) override {}
  void OnServerList(const std::vector<SAddressPort>&) override {}
  void OnCallbackRequested(uint32_t, uint16_t) override {}
  void OnSearchResult(const SOfferRecord&) override {}
  void OnRefused(uint8_t op, const SRefusal& r) override {
    opcode = op;
    refusal = r;
    ++refusals;
  }
  bool IsSessionOpen() const override { return true; }
};

TEST(RefusalTest, ServerPacketsThatAreRefusedSayWhy) {
  const struct {
    const char* name;
    uint8_t opcode;
    Bytes payload;
    std::string_view field;
    ERefusalReason reason;
  } cases[] = {
      {"message cut short", 0x38, {0x05, 0x00, 'h'}, "server message text", R::kTruncated},
      {"id without flags", 0x40, Le32(0x01000000), "", R::kTruncated},
      {"server list count beyond payload", 0x32, Cat({{3}, Le32(1), {1, 0}}), "address count",
       R::kTruncated},
      {"search count beyond payload", 0x33, Cat({Le32(0xFFFFFFFF), kHash}), "search result count",
       R::kTruncated},
      {"ident with too many tags", 0x41, Cat({kHash, Le32(1), {1, 0}, Le32(5000)}), "tag count",
       R::kOverLimit},
      {"ident with an unknown tag type", 0x41, Cat({kHash, Le32(1), {1, 0}, Le32(1), {0x8B, 1}}),
       "tag type", R::kUnknownType},
  };
  for (const auto& c : cases) {
    RefusalRecorder recorder;
    DispatchServerTcpPacket(recorder, c.opcode, 0xE3, c.payload);
    EXPECT_EQ(recorder.refusals, 1) << c.name;
    EXPECT_EQ(recorder.opcode, c.opcode) << c.name;
    EXPECT_EQ(recorder.refusal.field, c.field) << c.name;
    EXPECT_EQ(recorder.refusal.reason, c.reason) << c.name;
  }
  // Accepted and unknown packets report nothing.
  RefusalRecorder recorder;
  DispatchServerTcpPacket(recorder, 0x40, 0xE3, Cat({Le32(1), Le32(2)}));
  DispatchServerTcpPacket(recorder, 0x77, 0xE3, {});
  EXPECT_EQ(recorder.refusals, 0);
}

struct UdpRefusalRecorder : ITARNNetC2SUDPEventDispatcher {
  SRefusal refusal;
  void OnServerStatus(uint32_t, uint16_t, const SServerStatusAnswer&) override {}
  void OnGlobalFoundSources(uint32_t, uint16_t, const SFoundSources&) override {}
  void OnServerList(uint32_t, uint16_t, const std::vector<SAddressPort>&) override {}
  void OnServerDescription(uint32_t, uint16_t, const SServerDescription&) override {}
  void OnGlobalSearchResult(uint32_t, uint16_t, const SOfferRecord&) override {}
  void OnRefused(uint32_t, uint16_t, uint8_t, const SRefusal& r) override { refusal = r; }
};

TEST(RefusalTest, ServerDatagramsThatAreRefusedSayWhy) {
  UdpRefusalRecorder recorder;
  const Bytes record = Cat({kHash, Le32(1), {1, 0}, Le32(kMaxTagsPerList + 1)});
  DispatchServerUdpPacket(recorder, 0x99, record, SUdpSender{1, 4661});
  EXPECT_EQ(recorder.refusal.field, "tag count");
  EXPECT_EQ(recorder.refusal.reason, R::kOverLimit);
}

struct Sink {
  void Dispatch(uint8_t, uint8_t, std::span<const uint8_t>) {}
};

TEST(RefusalTest, FramingAndInflationRefusalsComeWithTheParseResult) {
  Bytes huge{kProtocolEDonkey};
  const Bytes length = Le32(kMaxTcpPacketLength + 1);
  huge.insert(huge.end(), length.begin(), length.end());
  Sink sink;
  CTARNNetRecvTCPPacket<Sink> parser(sink);
  const SParseResult framing = parser.ParseAll(huge);
  EXPECT_EQ(framing.refused, 1u);
  EXPECT_EQ(framing.refusal.field, "packet length");
  EXPECT_EQ(framing.refusal.reason, R::kOverLimit);
  EXPECT_EQ(framing.refusal.limit, kMaxTcpPacketLength);

  const Bytes garbage{kProtocolPacked, 4, 0, 0, 0, 0x46, 1, 2, 3};
  const SParseResult packed = parser.ParseAll(garbage);
  EXPECT_EQ(packed.last, ETcpParse::kIncomplete);
  EXPECT_EQ(packed.refused, 1u);
  EXPECT_EQ(packed.refusedOpcode, 0x46);
  EXPECT_EQ(packed.refusal.field, "packed payload");
  EXPECT_EQ(parser.ParseAll(Bytes{}).refused, 0u);  // each parse reports its own
}

Bytes DataPayload(uint32_t start, uint32_t end, size_t dataBytes) {
  return Cat({kHash, Le32(start), Le32(end), Bytes(dataBytes, 7)});
}

TEST(RefusalTest, PeerReadersNameTheBlockField) {
  _tagStructDataPacket packet;
  SRefusal tooLong;
  EXPECT_FALSE(ReadSendingPart(DataPayload(0, 400000, 400000), packet, &tooLong));
  EXPECT_EQ(tooLong.field, "block length");
  EXPECT_EQ(tooLong.reason, R::kOverLimit);
  EXPECT_EQ(tooLong.limit, kMaxTransferBlockLength);
  SRefusal packed;
  EXPECT_FALSE(ReadCompressedPart(DataPayload(0, 0xFFFFFFFF, 100), packet, &packed));
  EXPECT_EQ(packed.field, "packed block length");
  SRefusal hashes;
  _tagUnionHash file;
  std::vector<_tagUnionHash> set;
  EXPECT_FALSE(ReadHashSet(Cat({kHash, {3, 0}, kHash}), file, set, &hashes));
  EXPECT_EQ(hashes.field, "hash count");
  SRefusal hello;
  _tagStructPeerIdentity identity;
  EXPECT_FALSE(ReadHello(Cat({{16}, kHash, Le32(1), {1, 0}, Le32(5000)}), false, identity, &hello));
  EXPECT_EQ(hello.field, "tag count");
}

}  // namespace
}  // namespace P2P::Protocol
