#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/ClientConfig.h"
#include "engine/protocol/C2STCPDispatcher.h"
#include "engine/protocol/C2SUDPDispatcher.h"
#include "engine/protocol/ServerMessages.h"
#include "engine/protocol/ServerRequests.h"

namespace P2P::Protocol {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts)
    for (uint8_t byte : part) out.push_back(byte);
  return out;
}
Bytes Text16(const std::string& text) {
  Bytes out{uint8_t(text.size()), uint8_t(text.size() >> 8)};
  for (char c : text) out.push_back(uint8_t(c));
  return out;
}
Bytes StringTag(uint8_t id, const std::string& text) {
  return Cat({{0x02, 0x01, 0x00, id}, Text16(text)});
}

TEST(ServerRequestsTest, LoginCarriesIdZeroThePortTwiceAndFiveIntegerTags) {
  _tagStructClientConfig config;
  for (size_t i = 0; i < 16; ++i) config.userHash.bytes[i] = uint8_t(i + 1);
  config.clientId = 0x12345678;  // whatever the record holds, the login says 0
  config.tcpPort = 4662;
  config.userName = "ab";
  config.ed2kVersion = kEd2kVersion;
  config.clientVersion = 0xFF000000 | kClientVersionWord;

  const auto login = BuildLoginRequest(config);
  ASSERT_TRUE(login.has_value());
  const Bytes tags = Cat({{0x02, 0x01, 0x00, 0x01, 0x02, 0x00, 'a', 'b'},
                          {0x03, 0x01, 0x00, 0x11},
                          Le32(60),
                          {0x03, 0x01, 0x00, 0x0F},
                          Le32(4662),
                          {0x03, 0x01, 0x00, 0x20},
                          Le32(0x119),
                          {0x03, 0x01, 0x00, 0xFB},
                          Le32(0xB900)});
  Bytes payload(config.userHash.bytes.begin(), config.userHash.bytes.end());
  payload = Cat({payload, Le32(0), {0x36, 0x12}, Le32(5), tags});
  const Bytes expected = Cat({{0xE3}, Le32(uint32_t(payload.size() + 1)), {0x01}, payload});
  EXPECT_EQ(*login, expected);
}

TEST(ServerRequestsTest, ChallengesCarryTheirFixedHalves) {
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(MakeStatusChallenge() & 0xFFFF0000u, 0x55AA0000u);
    EXPECT_EQ(MakeDescriptionChallenge() & 0xFFFFu, 0xF0FFu);
  }
}

// Records which events a dispatch produced.
struct TcpRecorder : ITARNNetC2STCPEventDispatcher {
  std::vector<std::string> events;
  void OnServerMessage(const std::string& text) override { events.push_back("message " + text); }
  void OnIdChange(uint32_t id, uint32_t flags) override {
    events.push_back("id " + std::to_string(id) + " " + std::to_string(flags));
  }
  void OnSearchResultEnd(bool more) override { events.push_back(more ? "end more" : "end"); }
  void OnFoundSources(const SFoundSources& f) override {
    events.push_back("sources " + std::to_string(f.sources.size()));
  }
  void OnServerStatus(uint32_t users, uint32_t files) override {
    events.push_back("status " + std::to_string(users) + " " + std::to_string(files));
  }
  void OnServerIdent(const SServerIdent& ident) override {
    events.push_back("ident " + ident.name.value_or("-") + " " + ident.description.value_or("-"));
  }
  void OnServerList(const std::vector<SAddressPort>& list) override {
    events.push_back("list " + std::to_string(list.size()));
  }
  void OnCallbackRequested(uint32_t, uint16_t port) override {
    events.push_back("callback " + std::to_string(port));
  }
  void OnSearchResult(const SOfferRecord& record) override {
    events.push_back("result " + std::to_string(record.tags.size()));
  }
  bool IsSessionOpen() const override { return true; }
};

struct TcpCase {
  const char* name;
  uint8_t opcode;
  Bytes payload;
  std::vector<std::string> events;
};

const Bytes kHash(16, 0x11);

TEST(ServerTcpDispatchTest, EachOpcodeNeedsItsWholePayload) {
  const Bytes record = Cat({kHash, Le32(0x01020304), {0x36, 0x12}, Le32(1), StringTag(0x01, "f")});
  const TcpCase cases[] = {
      {"id with flags", 0x40, Cat({Le32(0x00FFFFFF), Le32(0x19)}), {"id 16777215 25"}},
      {"id without flags", 0x40, Le32(0x01000000), {}},
      {"status", 0x34, Cat({Le32(5), Le32(6)}), {"status 5 6"}},
      {"status with users only", 0x34, Le32(5), {}},
      {"message", 0x38, Text16("hi"), {"message hi"}},
      {"message cut short", 0x38, {0x05, 0x00, 'h'}, {}},
      {"server list", 0x32, Cat({{2}, Le32(1), {1, 0}, Le32(2), {2, 0}}), {"list 2"}},
      {"server list count beyond payload", 0x32, Cat({{3}, Le32(1), {1, 0}}), {}},
      {"found sources", 0x42, Cat({kHash, {1}, Le32(9), {1, 0}}), {"sources 1"}},
      {"found sources truncated", 0x42, Cat({kHash, {2}, Le32(9), {1, 0}}), {}},
      {"callback", 0x35, Cat({Le32(9), {0x36, 0x12}}), {"callback 4662"}},
      {"ident",
       0x41,
       Cat({kHash, Le32(1), {1, 0}, Le32(2), StringTag(0x01, "n"), StringTag(0x0B, "d")}),
       {"ident n d"}},
      {"ident with a bad tag",
       0x41,
       Cat({kHash, Le32(1), {1, 0}, Le32(2), StringTag(0x01, "n")}),
       {}},
      {"search results",
       0x33,
       Cat({Le32(2), record, record, {1}}),
       {"result 1", "result 1", "end more"}},
      {"search results without the flag", 0x33, Cat({Le32(1), record}), {}},
      {"search count far beyond payload", 0x33, Cat({Le32(0xFFFFFFFF), record, {0}}), {}},
      {"unknown opcode", 0x77, Le32(1), {}},
  };
  for (const TcpCase& c : cases) {
    TcpRecorder recorder;
    DispatchServerTcpPacket(recorder, c.opcode, 0xE3, c.payload);
    EXPECT_EQ(recorder.events, c.events) << c.name;
  }
}

TEST(ServerTcpDispatchTest, ServerMessagesFallBackToWindows1252) {
  TcpRecorder recorder;
  DispatchServerTcpPacket(recorder, 0x38, 0xE3, Text16("caf\xE9"));
  EXPECT_EQ(recorder.events, std::vector<std::string>{"message caf\xC3\xA9"});
}

struct UdpRecorder : ITARNNetC2SUDPEventDispatcher {
  std::vector<std::string> events;
  void OnServerStatus(uint32_t, uint16_t port, const SServerStatusAnswer& s) override {
    events.push_back("status " + std::to_string(port) + " " + std::to_string(s.values[7]));
  }
  void OnGlobalFoundSources(uint32_t, uint16_t, const SFoundSources& f) override {
    events.push_back("sources " + std::to_string(f.sources.size()));
  }
  void OnServerList(uint32_t, uint16_t, const std::vector<SAddressPort>& l) override {
    events.push_back("list " + std::to_string(l.size()));
  }
  void OnServerDescription(uint32_t, uint16_t, const SServerDescription& d) override {
    events.push_back("description " + d.name.value_or("-") + " " + d.description.value_or("-") +
                     " " + d.hostName.value_or("-"));
  }
  void OnGlobalSearchResult(uint32_t, uint16_t, const SOfferRecord&) override {
    events.push_back("result");
  }
};

TEST(ServerUdpDispatchTest, DescriptionFormsAndShortStatusAnswers) {
  const struct {
    const char* name;
    uint8_t opcode;
    Bytes payload;
    std::vector<std::string> events;
  } cases[] = {
      {"status, eight values",
       0x97,
       Cat({Le32(1), Le32(2), Le32(3), Le32(4), Le32(5), Le32(6), Le32(7), Le32(8)}),
       {"status 4661 8"}},
      {"status, seven values",
       0x97,
       Cat({Le32(1), Le32(2), Le32(3), Le32(4), Le32(5), Le32(6), Le32(7)}),
       {}},
      {"plain description", 0xA3, Cat({Text16("n"), Text16("d")}), {"description n d -"}},
      {"plain description, name only", 0xA3, Text16("n"), {"description n - -"}},
      {"tagged description",
       0xA3,
       Cat({{0xFF, 0xF0, 0x12, 0x34},
            Le32(3),
            StringTag(0x01, "n"),
            StringTag(0x0B, "d"),
            StringTag(0x85, "h")}),
       {"description n d h"}},
      // 0xF0FF read the other way round is a plain name length, not the tagged mark.
      {"reversed mark is plain", 0xA3, Cat({{0xF0, 0xFF}}), {}},
      {"server list", 0xA1, Cat({{1}, Le32(5), {1, 0}}), {"list 1"}},
  };
  for (const auto& c : cases) {
    UdpRecorder recorder;
    DispatchServerUdpPacket(recorder, c.opcode, c.payload, SUdpSender{1, 4661});
    EXPECT_EQ(recorder.events, c.events) << c.name;
  }
}

TEST(ServerUdpDispatchTest, SearchAnswersMayFollowEachOtherInOneDatagram) {
  const Bytes record = Cat({kHash, Le32(1), {1, 0}, Le32(0)});
  UdpRecorder recorder;
  const Bytes datagram = Cat({{0xE3, 0x99}, record, {0xE3, 0x99}, record, {0xE3, 0x99, 0x01}});
  struct Adapter {
    UdpRecorder& recorder;
    size_t Dispatch(uint8_t opcode, uint8_t, std::span<const uint8_t> payload,
                    const SUdpSender& s) {
      return DispatchServerUdpPacket(recorder, opcode, payload, s);
    }
  } adapter{recorder};
  CTARNNetRecvUDPPacket<Adapter>(adapter, SUdpSender{1, 4661}).ParseDatagram(datagram);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"result", "result"}));
}

}  // namespace
}  // namespace P2P::Protocol
