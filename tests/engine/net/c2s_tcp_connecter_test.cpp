#include <gtest/gtest.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "engine/net/TARNNetC2STCPConnecter.h"
#include "framework/SocketError.h"
#include "tests/support/FileSizes.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestIndexServer.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using tarn::test::TestIndexServer;
using tarn::test::WaitUntil;
using Bytes = std::vector<uint8_t>;
using ServerInfo = Remote::Server::_tagStructServerInfo;

// Records the session's reports the way the connection manager would receive them.
struct RecordingAdvisor : ITARNNetP2PConnectionEventAdvisor {
  std::atomic<int> connecting{0}, connected{0}, disconnected{0};
  std::atomic<int> lastError{-1};
  void Connecting(const ServerInfo*) override { ++connecting; }
  void Connected(const ServerInfo*) override { ++connected; }
  void Disconnected(const ServerInfo*, int error) override {
    lastError = error;
    ++disconnected;
  }
};

Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

class TcpConnecterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.tcpPort = 4662;
    config_.userName = "tester";
    config_.ed2kVersion = kEd2kVersion;
    config_.clientVersion = kClientVersionWord;
  }

  // Connects the session to `server` and waits for the login to arrive there.
  void ConnectTo(TestIndexServer& server) {
    ServerInfo* entry = servers_.AddAddress(server.Address(), server.Port());
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(session_.Create(0, SOCK_STREAM));
    ASSERT_TRUE(session_.Connect(entry));
    ASSERT_TRUE(server.WaitForPackets(0x01, false));
  }

  _tagStructClientConfig config_;
  CTARNNetServerManager servers_;
  RecordingAdvisor advisor_;
  Protocol::SServerSessionHooks hooks_;
  CTARNNetC2STCPConnecter session_{config_, servers_, advisor_, hooks_};
};

TEST_F(TcpConnecterTest, LowIdKeepsThePublicAddressHighIdBecomesIt) {
  for (uint32_t id : {0x00FFFFFFu, 0x01000000u}) {
    TestIndexServer server;
    server.Update([id](TestIndexServer::Settings& s) {
      s.loginId = id;
      s.address = id == 0x01000000u ? "127.0.0.3" : "127.0.0.2";  // one list entry each
    });
    ASSERT_TRUE(server.Start());
    const int connectedBefore = advisor_.connected;
    ConnectTo(server);
    ASSERT_TRUE(WaitUntil([&] { return advisor_.connected > connectedBefore; }));
    EXPECT_EQ(session_.GetClientId(), id);
    EXPECT_EQ(session_.GetPublicAddress(), id == 0x01000000u ? id : 0u);
    EXPECT_EQ(session_.ServerSupportsCompactTags(), true);  // the server's flags are 0x119
    // After the id: the server list is asked for; nothing is offered from an empty list.
    EXPECT_TRUE(server.WaitForPackets(0x14, false));
    EXPECT_EQ(server.CountReceived(0x15, false), 0u);
    session_.Close(true);
  }
}

TEST_F(TcpConnecterTest, AnErrorMessageEndsTheSessionAShorterTextDoesNot) {
  TestIndexServer server;
  ASSERT_TRUE(server.Start());
  ConnectTo(server);
  ASSERT_TRUE(WaitUntil([&] { return advisor_.connected == 1; }));

  server.SendServerMessage("Err");
  server.SendServerMessage("welcome");
  server.SendPacket(0x34, Bytes{1, 0, 0, 0});  // the marker: a status cut short, ignored
  // The refused marker was read last, so the messages before it were read too.
  ASSERT_TRUE(WaitUntil([&] { return session_.GetRefusalCount() == 1; }));
  EXPECT_EQ(advisor_.disconnected, 0);
  EXPECT_TRUE(session_.IsConnected());

  server.SendServerMessage("eRrOr");
  ASSERT_TRUE(WaitUntil([&] { return advisor_.disconnected == 1; }));
  EXPECT_EQ(advisor_.lastError, 0);
  EXPECT_EQ(config_.clientId, 0u);
  EXPECT_FALSE(session_.IsConnected());
}

TEST_F(TcpConnecterTest, AServerMessageReachesTheLogAsOneEscapedLine) {
  TestIndexServer server;
  ASSERT_TRUE(server.Start());
  ConnectTo(server);
  ASSERT_TRUE(WaitUntil([&] { return advisor_.connected == 1; }));

  tarn::test::LogCapture capture;
  using namespace std::string_literals;
  server.SendServerMessage("hi\r\nlogged in with high id 1\0\a\x1b[2J\x1b]0;title\x07 bye"s);
  ASSERT_TRUE(WaitUntil([&] { return !capture.LinesWith("server message").empty(); }));
  const auto lines = capture.LinesWith("server message");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "server message: hi\\r\\nlogged in with high id 1\\x00\\x07\\x1b[2J"
            "\\x1b]0;title\\x07 bye");
  // The forged text is no line of its own, and no line holds a control character.
  EXPECT_TRUE(capture.LinesWith("\nlogged in").empty());
  for (const auto& line : capture.Lines())
    for (char c : line.text) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20) << line.text;
}

TEST_F(TcpConnecterTest, RefusedPacketsAreCountedAndLoggedAtDebugLevel) {
  TestIndexServer server;
  ASSERT_TRUE(server.Start());
  ConnectTo(server);
  ASSERT_TRUE(WaitUntil([&] { return advisor_.connected == 1; }));
  EXPECT_EQ(session_.GetRefusalCount(), 0u);

  tarn::test::LogCapture capture;
  Bytes ident(16, 0x11);
  for (uint8_t byte : Bytes{1, 0, 0, 0, 0x36, 0x12}) ident.push_back(byte);
  for (uint8_t byte : Le32(5000)) ident.push_back(byte);  // more tags than a list may hold
  server.SendPacket(0x41, ident);
  ASSERT_TRUE(WaitUntil([&] { return session_.GetRefusalCount() == 1; }));
  const Protocol::SRefusal refusal = session_.GetLastRefusal();
  EXPECT_EQ(refusal.field, "tag count");
  EXPECT_EQ(refusal.reason, Protocol::ERefusalReason::kOverLimit);
  EXPECT_EQ(refusal.value, 5000u);
  int refusedLines = 0;
  for (const auto& line : capture.Lines()) {
    if (line.text.find("refused") == std::string::npos) continue;
    ++refusedLines;
    EXPECT_EQ(line.text, "server TCP: packet 0x41 refused: tag count over limit (5000 > 1024)");
    EXPECT_EQ(line.level, OSTREL::LogLevel::kDebug);
  }
  EXPECT_EQ(refusedLines, 1);
  EXPECT_TRUE(session_.IsConnected());  // a refused packet is dropped, the session stays
}

TEST_F(TcpConnecterTest, TruncatedLoginAnswersLeaveTheSessionPending) {
  TestIndexServer server;
  server.Update([](TestIndexServer::Settings& s) { s.answerLogin = false; });
  ASSERT_TRUE(server.Start());
  ConnectTo(server);
  ServerInfo* entry = servers_.FindByAddress(server.Address());
  server.SendPacket(0x40, Le32(0x01000000));  // id without the flags
  server.SendPacket(0x34, Le32(99));          // users without files
  server.SendServerMessage("still here");
  ASSERT_TRUE(WaitUntil([&] { return session_.IsSessionOpen(); }));
  // Both short answers were read and refused.
  ASSERT_TRUE(WaitUntil([&] { return session_.GetRefusalCount() == 2; }));
  EXPECT_EQ(advisor_.connected, 0);
  EXPECT_EQ(config_.clientId, 0u);
  EXPECT_EQ(entry->status.users, 0u);
  EXPECT_EQ(session_.GetPublicAddress(), 0u);

  // A silent server holds the session open; closing it does not wait for the server.
  const auto start = std::chrono::steady_clock::now();
  session_.Close(true);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(advisor_.disconnected, 0);
}

TEST_F(TcpConnecterTest, GarbageFromTheServerNeverCrashesAndAnOversizeLengthCloses) {
  TestIndexServer server;
  ASSERT_TRUE(server.Start());
  ConnectTo(server);
  ASSERT_TRUE(WaitUntil([&] { return advisor_.connected == 1; }));
  // Unknown protocols, unknown opcodes, empty bodies and lying counts are skipped.
  server.SendRaw({0x99, 3, 0, 0, 0, 1, 2, 3});
  server.SendRaw({0xE3, 0, 0, 0, 0});
  server.SendPacket(0x33, Le32(0x7FFFFFFF));
  server.SendPacket(0x32, {200, 1, 2, 3});
  server.SendPacket(0x41, Bytes(30, 0xFF));
  server.SendPacket(0x42, Bytes(17, 0xFF));
  server.SendPacket(0xEE, Bytes(100, 0xAA));
  server.SendRaw({0xD4, 3, 0, 0, 0, 0x40, 0x78, 0x9C});  // packed, does not inflate
  server.SendPacket(0x34, {5, 0, 0, 0, 6, 0, 0, 0});
  ServerInfo* entry = servers_.FindByAddress(server.Address());
  ASSERT_TRUE(WaitUntil([&] { return Remote::Server::LoadField(entry->status.files) == 6; }));
  EXPECT_EQ(advisor_.disconnected, 0);

  // A length no server would send ends the session like an error.
  server.SendRaw({0xE3, 0xFF, 0xFF, 0xFF, 0x7F, 0x01});
  ASSERT_TRUE(WaitUntil([&] { return advisor_.disconnected == 1; }));
  EXPECT_EQ(advisor_.lastError, OSTREL::Network::Socket::kWsaEMsgSize);
}

TEST_F(TcpConnecterTest, RefusedConnectionReportsItsError) {
  TestIndexServer server;
  ASSERT_TRUE(server.Start());
  const uint16_t port = server.Port();
  const uint32_t address = server.Address();
  server.Stop();
  ServerInfo* entry = servers_.AddAddress(address, port);
  ASSERT_TRUE(session_.Create(0, SOCK_STREAM));
  session_.Connect(entry);
  ASSERT_TRUE(WaitUntil([&] { return advisor_.disconnected == 1; }));
  EXPECT_EQ(advisor_.connecting, 1);
  EXPECT_EQ(advisor_.lastError, OSTREL::Network::Socket::kWsaEConnRefused);
}

TEST_F(TcpConnecterTest, SourcesGoToTheSinkUnlessBothSidesHaveLowIds) {
  std::mutex lock;
  std::vector<Protocol::SFoundSource> found;
  hooks_.foundSources = [&](const _tagUnionHash&, const std::vector<Protocol::SFoundSource>& s) {
    std::lock_guard guard(lock);
    found.insert(found.end(), s.begin(), s.end());
  };
  TestIndexServer server;
  server.Update([](TestIndexServer::Settings& s) { s.loginId = 0x1234; });  // we get a low id
  ASSERT_TRUE(server.Start());
  ConnectTo(server);
  ASSERT_TRUE(WaitUntil([&] { return advisor_.connected == 1; }));
  Bytes sources(16, 0x22);
  for (uint8_t b : Bytes{2, 0x34, 0x12, 0, 0, 0x36, 0x12, 5, 6, 7, 8, 0x36, 0x12})
    sources.push_back(b);
  server.SendPacket(0x42, sources);
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard guard(lock);
    return !found.empty();
  }));
  std::lock_guard guard(lock);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].clientId, 0x08070605u);
  EXPECT_EQ(found[0].serverPort, server.Port());
}

std::vector<Protocol::SSourceRequestEntry> SizedEntries() {
  std::vector<Protocol::SSourceRequestEntry> entries;
  for (const uint64_t size : tarn::test::kSizesAround32Bits) {
    Protocol::SSourceRequestEntry& entry = entries.emplace_back();
    entry.hash.bytes.fill(static_cast<uint8_t>(entries.size()));
    entry.size = size;
  }
  return entries;
}

// A server that takes large files gets them in the 64-bit entry form (hash, 32-bit zero,
// 64-bit size) and answers by hash; one without the flag is asked for the small files alone.
TEST_F(TcpConnecterTest, SourceRequestsCarryLargeFilesOnlyToServersThatTakeThem) {
  std::mutex lock;
  std::vector<_tagUnionHash> answered;
  hooks_.foundSources = [&](const _tagUnionHash& hash, const std::vector<Protocol::SFoundSource>&) {
    std::lock_guard guard(lock);
    answered.push_back(hash);
  };
  const auto entries = SizedEntries();
  for (const uint32_t flags : {0x119u, 0x19u}) {
    TestIndexServer::Settings settings;
    settings.tcpFlags = flags;
    settings.address = flags == 0x119u ? "127.0.0.2" : "127.0.0.3";
    for (const auto& entry : entries) {
      std::array<uint8_t, 16> hash{};
      std::copy(entry.hash.bytes.begin(), entry.hash.bytes.end(), hash.begin());
      settings.fixedSources.push_back({hash, {0x0500007F, 4662}});
    }
    TestIndexServer server(settings);
    ASSERT_TRUE(server.Start());
    ConnectTo(server);
    ASSERT_TRUE(WaitUntil([&] { return session_.IsConnected(); }));
    EXPECT_EQ(session_.ServerTakesLargeFiles(), flags == 0x119u);
    answered.clear();
    ASSERT_TRUE(session_.SendGetSources(entries));
    ASSERT_TRUE(server.WaitForPackets(0x19, false));
    Bytes expected;
    Protocol::CStreamWriter writer(expected);
    for (const auto& entry : entries) {
      if (flags == 0x19u && entry.size > 4290048000) continue;
      writer.WriteHash(entry.hash);
      if (entry.size > 4290048000) {
        writer.WriteUInt32(0);
        writer.WriteUInt64(entry.size);
      } else {
        writer.WriteUInt32(static_cast<uint32_t>(entry.size));
      }
    }
    for (const auto& packet : server.Received()) {
      if (packet.opcode == 0x19) {
        EXPECT_EQ(packet.payload, expected) << std::hex << flags;
      }
    }
    const size_t asked = flags == 0x119u ? entries.size() : 1;
    ASSERT_TRUE(WaitUntil([&] {
      std::lock_guard guard(lock);
      return answered.size() == asked;
    }));
    std::lock_guard guard(lock);
    for (size_t i = 0; i < asked; ++i) EXPECT_EQ(answered[i], entries[i].hash);
    // Nothing at all to ask of a server without the flag: no packet.
    if (flags == 0x19u) {
      EXPECT_FALSE(session_.SendGetSources(std::span(entries).subspan(1)));
    }
    session_.Close(true);
  }
}

}  // namespace
}  // namespace P2P
