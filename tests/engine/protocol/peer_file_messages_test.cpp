// What a peer session says about one file, byte for byte: the requests a downloader sends as
// far as the remote client's capabilities reach, and the asked side's answers, including the
// multi-packet request read up to its first bad sub-request and answered in its order.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/protocol/Limits.h"
#include "engine/protocol/PeerFileMessages.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/transfer/RequestRecord.h"

namespace P2P::Protocol {
namespace {

constexpr uint32_t kPart = 9728000;

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

_tagUnionHash FileHash() {
  _tagUnionHash hash;
  hash.bytes.fill(0x11);
  return hash;
}
Bytes HashBytes() { return Bytes(16, 0x11); }
Bytes Le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

// A capability word with the fields the file messages look at.
uint32_t Capabilities(uint32_t extendedRequests, uint32_t sourceExchange, uint32_t aich,
                      bool multiPacket = false) {
  return extendedRequests << 8 | sourceExchange << 12 | aich << 29 | (multiPacket ? 2u : 0u);
}

// Three parts with the second one verified: status count 3, bits 0b010.
SPartStatus SecondPartOnly() { return {2 * kPart + 10, false, {0, 1, 0}}; }
const Bytes kSecondPartOnlyBits = {3, 0, 0b010};

TEST(PeerFileMessagesTest, FileNameRequestCarriesAsMuchAsTheRemoteVersionAsks) {
  struct Case {
    uint32_t version;
    uint32_t sources;
    Bytes after;
  };
  const Case cases[] = {
      {0, 7, {}},
      {1, 7, kSecondPartOnlyBits},
      {2, 7, Concat({kSecondPartOnlyBits, Le16(7)})},
      {2, 70000, Concat({kSecondPartOnlyBits, Le16(0xFFFF)})},  // the count is cut, not wrapped
  };
  for (const Case& c : cases)
    EXPECT_EQ(BuildFileNameRequest(FileHash(), Capabilities(c.version, 0, 0), SecondPartOnly(),
                                   c.sources),
              Concat({HashBytes(), c.after}))
        << c.version << " " << c.sources;
  // A whole file says so with a count of 0 whatever its bitmap.
  const SPartStatus whole{2 * kPart + 10, true, {0, 0, 0}};
  EXPECT_EQ(BuildFileNameRequest(FileHash(), Capabilities(1, 0, 0), whole, 0),
            Concat({HashBytes(), Le16(0)}));
}

TEST(PeerFileMessagesTest, MultiPacketRequestAsksOnlyWhatTheRemoteClientSupports) {
  const Bytes name = Concat({{kOpRequestFileName}, kSecondPartOnlyBits, Le16(3)});
  EXPECT_EQ(
      BuildMultiPacketFileRequest(FileHash(), Capabilities(2, 1, 1), SecondPartOnly(), 3, true),
      Concat(
          {HashBytes(), name, {kOpSetRequestedFile, kOpRequestSources, kOpAichFileHashRequest}}));
  // One part needs no status; no source exchange, no AICH: the name alone.
  EXPECT_EQ(
      BuildMultiPacketFileRequest(FileHash(), Capabilities(0, 0, 0), SecondPartOnly(), 3, false),
      Concat({HashBytes(), {kOpRequestFileName}}));
}

TEST(PeerFileMessagesTest, RequestsAndAichMessagesLayOutTheirFieldsInOrder) {
  const uint64_t starts[3] = {0, 184320, 7};
  const uint64_t ends[3] = {184320, 0xFFFFFFFF, 7};
  EXPECT_EQ(BuildRequestParts(FileHash(), starts, ends),
            Concat({HashBytes(), Le32(0), Le32(184320), Le32(7), Le32(184320), Le32(0xFFFFFFFF),
                    Le32(7)}));
  const uint64_t beyond[3] = {0, 184320, uint64_t{1} << 32};
  EXPECT_FALSE(BuildRequestParts(FileHash(), starts, beyond));
  AichRoot root;
  root.fill(0xA5);
  const Bytes rootBytes(root.begin(), root.end());
  EXPECT_EQ(BuildAichRequest(FileHash(), 513, root), Concat({HashBytes(), Le16(513), rootBytes}));
  EXPECT_EQ(BuildAichAnswer(FileHash(), 513, root, Bytes{9, 8, 7}),
            Concat({HashBytes(), Le16(513), rootBytes, {9, 8, 7}}));
  EXPECT_EQ(BuildAichFileHashAnswer(FileHash(), root), Concat({HashBytes(), rootBytes}));
  EXPECT_EQ(BuildPublicIpAnswer(0x0100007F), Le32(0x0100007F));
}

TEST(PeerFileMessagesTest, WideBlockRequestCarriesOffsetsUpToTheLargestFile) {
  using Shared::File::TransferFile::_tagStructRequestRecord;
  const uint64_t kLargest = kMaxFileSize;
  for (const uint64_t start : {kMaxSmallFileSize, kMaxSmallFileSize + 1, uint64_t{UINT32_MAX},
                               uint64_t{1} << 32, (uint64_t{1} << 32) + 1, kLargest - 184320}) {
    SCOPED_TRACE(start);
    const uint64_t starts[3] = {start, start + 10, 0};
    const uint64_t ends[3] = {start + 184320, start + 20, 0};
    const auto payload = BuildRequestParts(FileHash(), starts, ends, true);
    ASSERT_TRUE(payload);
    ASSERT_EQ(payload->size(), 16u + 6 * 8);
    CStreamReader reader(std::span<const uint8_t>(*payload).subspan(16));
    _tagStructRequestRecord request;
    ASSERT_TRUE(request.ReadWide(reader));
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_TRUE(std::equal(request.start.begin(), request.start.end(), starts));
    EXPECT_TRUE(std::equal(request.end.begin(), request.end.end(), ends));
    // The 32-bit form only while every offset fits it.
    EXPECT_EQ(BuildRequestParts(FileHash(), starts, ends).has_value(),
              start + 184320 <= UINT32_MAX);
  }
  const uint64_t starts[3] = {kLargest - 10, 0, 0};
  const uint64_t atEnd[3] = {kLargest, 0, 0};
  const uint64_t beyond[3] = {kLargest + 1, 0, 0};
  EXPECT_TRUE(BuildRequestParts(FileHash(), starts, atEnd, true));
  EXPECT_FALSE(BuildRequestParts(FileHash(), starts, beyond, true));
}

TEST(PeerFileMessagesTest, StatusAndNameAnswersReadBackAndLongNamesAreCut) {
  const Bytes status = BuildFileStatus(FileHash(), SecondPartOnly());
  CStreamReader statusReader(std::span<const uint8_t>(status).subspan(16));
  EXPECT_EQ(ReadPartStatus(statusReader, SecondPartOnly().fileSize),
            (std::vector<uint8_t>{0, 1, 0}));

  const std::string longName(70000, 'n');
  const Bytes answer = BuildFileNameAnswer(FileHash(), longName);
  CStreamReader nameReader(std::span<const uint8_t>(answer).subspan(16));
  std::string name;
  ASSERT_TRUE(ReadFileName(nameReader, name));
  EXPECT_EQ(name.size(), 0xFFFFu);
  EXPECT_TRUE(nameReader.AtEnd());
}

TEST(PeerFileMessagesTest, MultiPacketRequestIsReadUpToItsFirstBadSubRequest) {
  const uint32_t size = 2 * kPart + 10;
  struct Case {
    const char* what;
    uint32_t version;
    Bytes body;
    Bytes asked;
  };
  const Bytes ownStatus = {3, 0, 0};
  const Case cases[] = {
      {"all four, version 0",
       0,
       {kOpRequestFileName, kOpSetRequestedFile, kOpRequestSources, kOpAichFileHashRequest},
       {kOpRequestFileName, kOpSetRequestedFile, kOpRequestSources, kOpAichFileHashRequest}},
      {"the name request's status and count are read past",
       2,
       Concat({{kOpRequestFileName}, ownStatus, Le16(1), {kOpSetRequestedFile}}),
       {kOpRequestFileName, kOpSetRequestedFile}},
      {"a status with the wrong count ends the request",
       1,
       Concat({{kOpSetRequestedFile, kOpRequestFileName}, {9, 0, 0}}),
       {kOpSetRequestedFile}},
      {"an unknown opcode ends the request",
       0,
       {kOpSetRequestedFile, 0x77, kOpRequestFileName},
       {kOpSetRequestedFile}},
      {"a count cut short ends the request",
       2,
       Concat({{kOpSetRequestedFile, kOpRequestFileName}, ownStatus, {1}}),
       {kOpSetRequestedFile}},
  };
  for (const Case& c : cases) {
    CStreamReader reader(c.body);
    EXPECT_EQ(ReadMultiPacketRequest(reader, Capabilities(c.version, 0, 0), size), c.asked)
        << c.what;
  }
}

TEST(PeerFileMessagesTest, MultiPacketAnswerFollowsTheAskedOrderAndSkipsWhatItCannotGive) {
  AichRoot root;
  root.fill(0x3C);
  const Bytes sourceList = Concat({Le16(1), Le32(0x0200007F), Le16(4662), Le32(0), Le16(0)});
  SFileAnswers answers{SecondPartOnly(), "clip.avi", root, sourceList};
  const Bytes asked = {kOpAichFileHashRequest, kOpRequestSources, kOpSetRequestedFile,
                       kOpRequestFileName};
  EXPECT_EQ(BuildMultiPacketAnswer(FileHash(), asked, Capabilities(0, 0, 1), answers),
            Concat({HashBytes(),
                    {kOpAichFileHashAnswer},
                    Bytes(root.begin(), root.end()),
                    {kOpAnswerSources},
                    sourceList,
                    {kOpFileStatus},
                    kSecondPartOnlyBits,
                    {kOpFileNameAnswer},
                    Le16(8),
                    {'c', 'l', 'i', 'p', '.', 'a', 'v', 'i'}}));
  // No AICH on the remote side, or no root of ours: no AICH answer; no sources to give: no
  // source answer; nothing left: no packet.
  answers.sources.reset();
  const Bytes aichOnly = {kOpAichFileHashRequest, kOpRequestSources};
  EXPECT_TRUE(BuildMultiPacketAnswer(FileHash(), aichOnly, Capabilities(0, 0, 0), answers).empty());
  SFileAnswers rootless = answers;
  rootless.aichRoot.reset();
  EXPECT_TRUE(
      BuildMultiPacketAnswer(FileHash(), aichOnly, Capabilities(0, 0, 1), rootless).empty());
}

TEST(PeerFileMessagesTest, TheAskersOwnPartStatusIsReadFromItsNameRequest) {
  const uint32_t size = 2 * kPart + 10;
  struct Case {
    const char* what;
    uint32_t version;
    Bytes tail;
    bool whole;
    SAskerParts::EState state;
    std::vector<uint8_t> parts;
  };
  const Case cases[] = {
      {"version 0 sends nothing", 0, {}, true, SAskerParts::EState::kNotSent, {}},
      {"version 1: the bitmap", 1, {3, 0, 0b010}, true, SAskerParts::EState::kRead, {0, 1, 0}},
      {"version 2: bitmap and count",
       2,
       Concat({{3, 0, 0b101}, Le16(4)}),
       true,
       SAskerParts::EState::kRead,
       {1, 0, 1}},
      {"a count of 0 is the whole file", 1, {0, 0}, true, SAskerParts::EState::kRead, {}},
      {"a wrong part count is unreadable",
       1,
       {9, 0, 0, 0},
       false,
       SAskerParts::EState::kUnreadable,
       {}},
      {"the source count cut short", 2, {3, 0, 0, 1}, false, SAskerParts::EState::kRead, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    CStreamReader reader(c.tail);
    SAskerParts asker;
    EXPECT_EQ(ReadFileNameRequestTail(reader, Capabilities(c.version, 0, 0), size, asker), c.whole)
        << c.what;
    EXPECT_EQ(asker.state, c.state) << c.what;
    EXPECT_EQ(asker.parts, c.parts) << c.what;
  }
  // In a multi-packet request the status reaches the caller too.
  const Bytes body = Concat({{kOpRequestFileName, 3, 0, 0b001}, {kOpRequestSources}});
  CStreamReader reader(body);
  SAskerParts asker;
  EXPECT_EQ(ReadMultiPacketRequest(reader, Capabilities(1, 0, 0), size, &asker),
            (Bytes{kOpRequestFileName, kOpRequestSources}));
  EXPECT_EQ(asker.parts, (std::vector<uint8_t>{1, 0, 0}));
}

TEST(PeerFileMessagesTest, AnswerSourcesCarriesTheListAsWrittenAndReadsBackWithUserHashes) {
  Bytes list =
      Concat({Le16(2), Le32(0x0200007F), Le16(4662), Le32(0x0A0A0A0A), Le16(4661), Bytes(16, 0xAB),
              Le32(77), Le16(4663), Le32(0x0A0A0A0A), Le16(4661), Bytes(16, 0xCD)});
  const Bytes payload = BuildAnswerSources(FileHash(), list);
  EXPECT_EQ(payload, Concat({HashBytes(), list}));
  CStreamReader reader(std::span<const uint8_t>(payload).subspan(16));
  std::vector<_tagStructPeerSource> sources;
  ASSERT_TRUE(ReadSources(reader, true, sources));
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[0].clientId, 0x0200007Fu);
  EXPECT_EQ(sources[0].serverPort, 4661);
  EXPECT_EQ(sources[0].userHash.bytes[0], 0xAB);
  EXPECT_EQ(sources[1].clientId, 77u);
  EXPECT_EQ(sources[1].userHash.bytes[15], 0xCD);
  EXPECT_TRUE(reader.AtEnd());
}

}  // namespace
}  // namespace P2P::Protocol
