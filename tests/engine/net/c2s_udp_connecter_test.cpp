#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <filesystem>
#include <vector>

#include "engine/net/TARNNetC2SUDPConnecter.h"
#include "engine/servers/ServerInfoFile.h"
#include "framework/TickSource.h"
#include "platform/XmlFile.h"
#include "tests/support/ManualClock.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TestIndexServer.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using Remote::Server::LoadField;
using tarn::test::TestIndexServer;
using tarn::test::WaitUntil;
using ServerInfo = Remote::Server::_tagStructServerInfo;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kHalfHour = 1800000;

class UdpConnecterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Time runs at its real pace (the 10 ms pauses pass) and tests jump it by minutes.
    OSTREL::Process::CTickSource::SetManualSpeed(1);
    servers_.Start(sandbox_.Root());
    ASSERT_TRUE(udp_.Create(0, SOCK_DGRAM, IPPROTO_UDP));
  }
  void TearDown() override { udp_.Stop(); }

  ServerInfo* Serve(TestIndexServer& server, const char* address,
                    void (*tune)(TestIndexServer::Settings&) = nullptr) {
    server.Update([&](TestIndexServer::Settings& s) {
      s.address = address;
      if (tune) tune(s);
    });
    EXPECT_TRUE(server.Start());
    return servers_.AddAddress(server.Address(), server.Port());
  }
  bool Saved(const ServerInfo& server) const {
    OSTREL::File::CXmlDocument document;
    if (!OSTREL::File::LoadXmlFile(document, sandbox_.Root() / "ServerInfo.dat")) return false;
    for (const auto& entry : Remote::Server::ReadServerInfoDocument(document))
      if (entry.address == server.address) return true;
    return false;
  }

  tarn::test::ManualClock clock_;
  tarn::test::Sandbox sandbox_;
  CTARNNetServerManager servers_;
  Protocol::SServerSessionHooks hooks_;
  CTARNNetC2SUDPConnecter udp_{servers_, hooks_};
};

TEST_F(UdpConnecterTest, SilentServerFailsOncePerHalfHourAndIsDroppedAfterElevenMisses) {
  TestIndexServer silent, answering;
  ServerInfo* lost = Serve(silent, "127.0.0.2", [](auto& s) { s.answerUdp = false; });
  ServerInfo* alive = Serve(answering, "127.0.0.3");
  ASSERT_TRUE(lost && alive);

  ASSERT_TRUE(udp_.StartChecker());
  ASSERT_TRUE(WaitUntil([&] { return udp_.CheckerPasses() == 1; }));
  EXPECT_EQ(LoadField(lost->failedCount), 1u);
  ASSERT_TRUE(WaitUntil([&] { return LoadField(alive->status.users) == 7; }));
  EXPECT_EQ(LoadField(alive->failedCount), 0u);
  EXPECT_EQ(alive->name, "TARN test server");

  // A pass five minutes later finds nobody due.
  clock_.Advance(300000);
  ASSERT_TRUE(WaitUntil([&] { return udp_.CheckerPasses() == 2; }));
  EXPECT_EQ(LoadField(lost->failedCount), 1u);
  EXPECT_EQ(answering.CountReceived(0x96, true), 1u);

  for (uint32_t misses = 2; misses <= 11; ++misses) {
    const uint32_t passes = udp_.CheckerPasses();
    clock_.Advance(kHalfHour);
    ASSERT_TRUE(WaitUntil([&] { return udp_.CheckerPasses() > passes; }));
    ASSERT_EQ(LoadField(lost->failedCount), misses);
  }
  ASSERT_TRUE(WaitUntil([&] { return LoadField(alive->failedCount) == 0; }));
  EXPECT_FALSE(Saved(*lost));
  EXPECT_TRUE(Saved(*alive));
}

TEST_F(UdpConnecterTest, PingIsTheTimeFromRequestToAnswer) {
  TestIndexServer silent;
  ServerInfo* server = Serve(silent, "127.0.0.2", [](auto& s) { s.answerUdp = false; });
  OSTREL::Process::CTickSource::SetManualSpeed(0);
  ASSERT_TRUE(udp_.SendStatusRequest(server->address, server->port));
  EXPECT_EQ(LoadField(server->lastCheckedTime), clock_.Now());
  clock_.Advance(37);
  Protocol::SServerStatusAnswer answer;
  for (uint32_t i = 0; i < 8; ++i) answer.values[i] = i + 1;
  udp_.OnServerStatus(server->address, server->port, answer);
  EXPECT_EQ(LoadField(server->ping), 37u);
  EXPECT_EQ(LoadField(server->failedCount), 0u);
  EXPECT_EQ(LoadField(server->status.udpFlags), 7u);
  EXPECT_EQ(LoadField(server->status.lowIdUsers), 8u);
  // An answer from an address not in the list changes nothing and raises nothing.
  udp_.OnServerStatus(0x0900007F, 4661, answer);
}

TEST_F(UdpConnecterTest, TaggedAndPlainDescriptionsBothFillTheEntry) {
  TestIndexServer tagged, plain;
  ServerInfo* a = Serve(tagged, "127.0.0.2", [](auto& s) {
    s.taggedDescription = true;
    s.name = "tagged";
  });
  ServerInfo* b = Serve(plain, "127.0.0.3", [](auto& s) { s.name = "plain"; });
  ASSERT_TRUE(udp_.SendDescriptionRequest(a->address, a->port));
  ASSERT_TRUE(udp_.SendDescriptionRequest(b->address, b->port));
  auto nameOf = [this](ServerInfo* s) {
    OSTREL::Process::CLock guard(servers_.List().Lock());
    return s->name;
  };
  ASSERT_TRUE(WaitUntil([&] { return nameOf(a) == "tagged" && nameOf(b) == "plain"; }));
  const auto requests = tagged.Received();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].payload[0], 0xFF);  // challenge ends in 0xF0FF, little-endian first
  EXPECT_EQ(requests[0].payload[1], 0xF0);
}

TEST_F(UdpConnecterTest, GlobalSourcesGoOutInGroupsOf35AndSkipTheCurrentServer) {
  TestIndexServer current, sized, hashed;
  ServerInfo* c = Serve(current, "127.0.0.2");
  ServerInfo* x = Serve(sized, "127.0.0.3");
  Serve(hashed, "127.0.0.4");
  Remote::Server::StoreField(x->status.udpFlags, 0x10);

  std::vector<Protocol::SSourceRequestEntry> downloads(36);
  for (size_t i = 0; i < downloads.size(); ++i) {
    downloads[i].hash.bytes.fill(uint8_t(i));
    downloads[i].size = uint32_t(1000 + i);
  }
  udp_.SendGlobalSources(downloads, c);
  ASSERT_TRUE(sized.WaitForPackets(0x94, true, 2));
  ASSERT_TRUE(hashed.WaitForPackets(0x9A, true, 2));
  const auto sizedPackets = sized.Received();
  EXPECT_EQ(sizedPackets[0].payload.size(), 35u * 20);
  EXPECT_EQ(sizedPackets[1].payload.size(), 20u);
  EXPECT_EQ(sizedPackets[1].payload[16], uint8_t(1035 & 0xFF));
  const auto hashedPackets = hashed.Received();
  EXPECT_EQ(hashedPackets[0].payload.size(), 35u * 16);
  EXPECT_EQ(hashedPackets[1].payload.size(), 16u);
  EXPECT_EQ(hashedPackets[1].payload[0], 35);
  EXPECT_TRUE(current.Received().empty());
}

// A large file is asked for only of servers whose UDP flags take large files: in the 64-bit
// entry form by one with sizes (0x94), by its hash by one without (0x9A).
TEST_F(UdpConnecterTest, GlobalSourcesOfLargeFilesGoOnlyToServersThatTakeThem) {
  TestIndexServer sizedLarge, hashedLarge, sizedSmall, hashedSmall;
  ServerInfo* servers[] = {Serve(sizedLarge, "127.0.0.2"), Serve(hashedLarge, "127.0.0.3"),
                           Serve(sizedSmall, "127.0.0.4"), Serve(hashedSmall, "127.0.0.5")};
  const uint32_t udpFlags[] = {0x110, 0x100, 0x10, 0};
  for (size_t i = 0; i < 4; ++i)
    Remote::Server::StoreField(servers[i]->status.udpFlags, udpFlags[i]);

  std::vector<Protocol::SSourceRequestEntry> downloads(2);
  downloads[0].hash.bytes.fill(1);
  downloads[0].size = 4290048001;
  downloads[1].hash.bytes.fill(2);
  downloads[1].size = 4290048000;
  udp_.SendGlobalSources(downloads, nullptr);
  ASSERT_TRUE(sizedLarge.WaitForPackets(0x94, true));
  ASSERT_TRUE(hashedLarge.WaitForPackets(0x9A, true));
  ASSERT_TRUE(sizedSmall.WaitForPackets(0x94, true));
  ASSERT_TRUE(hashedSmall.WaitForPackets(0x9A, true));
  const auto payloadOf = [](const TestIndexServer& server) { return server.Received()[0].payload; };
  Bytes large(16, 1);
  for (uint8_t byte : {0, 0, 0, 0, 0x01, 0xF0, 0xB4, 0xFF, 0, 0, 0, 0}) large.push_back(byte);
  Bytes small(16, 2);
  for (uint8_t byte : {0x00, 0xF0, 0xB4, 0xFF}) small.push_back(byte);
  Bytes both = large;
  for (uint8_t byte : small) both.push_back(byte);
  Bytes hashes(16, 1);
  hashes.resize(32, 2);
  EXPECT_EQ(payloadOf(sizedLarge), both);
  EXPECT_EQ(payloadOf(hashedLarge), hashes);
  EXPECT_EQ(payloadOf(sizedSmall), small);
  EXPECT_EQ(payloadOf(hashedSmall), Bytes(16, 2));
}

TEST_F(UdpConnecterTest, AServerListOfKnownServersNeitherSavesNorWakes) {
  std::atomic<int> wakes{0};
  servers_.SetCheckerWake([&] { ++wakes; });
  TestIndexServer server;
  ServerInfo* known = Serve(server, "127.0.0.2");
  const uint16_t ourPort = udp_.GetLocalPort();
  auto list = [](uint32_t address, uint16_t port) {
    return Bytes{1,
                 uint8_t(address),
                 uint8_t(address >> 8),
                 uint8_t(address >> 16),
                 uint8_t(address >> 24),
                 uint8_t(port),
                 uint8_t(port >> 8)};
  };
  server.SendDatagram(ourPort, 0xA1, list(known->address, known->port));
  server.SendDatagram(ourPort, 0xA1, {5, 1, 2});  // a count the datagram does not hold
  // The second list was refused, so the first was read before it.
  ASSERT_TRUE(WaitUntil([&] { return udp_.GetRefusalCount() == 1; }));
  EXPECT_EQ(wakes, 0);
  EXPECT_FALSE(std::filesystem::exists(sandbox_.Root() / "ServerInfo.dat"));

  server.SendDatagram(ourPort, 0xA1, list(0x0900007F, 4700));
  ASSERT_TRUE(WaitUntil([&] { return wakes == 1; }));
  EXPECT_TRUE(servers_.Contains(0x0900007F));
  EXPECT_TRUE(std::filesystem::exists(sandbox_.Root() / "ServerInfo.dat"));
}

TEST_F(UdpConnecterTest, RefusedDatagramsAreCountedWithTheirReason) {
  // A global search answer whose record declares more tags than a list may hold, then a
  // status answer cut short.
  Bytes answer{0xE3, 0x99};
  answer.resize(2 + 16 + 4 + 2, 0x11);
  for (uint8_t byte : {0x01, 0x04, 0x00, 0x00}) answer.push_back(byte);  // 1025 tags
  udp_.HandleDatagram(answer, 0x0100007F, 4665);
  EXPECT_EQ(udp_.GetRefusalCount(), 1u);
  EXPECT_EQ(udp_.GetLastRefusal().field, "tag count");
  EXPECT_EQ(udp_.GetLastRefusal().reason, Protocol::ERefusalReason::kOverLimit);
  udp_.HandleDatagram(Bytes{0xE3, 0x97, 1, 0, 0, 0}, 0x0100007F, 4665);
  EXPECT_EQ(udp_.GetRefusalCount(), 2u);
  EXPECT_EQ(udp_.GetLastRefusal().reason, Protocol::ERefusalReason::kTruncated);
}

}  // namespace
}  // namespace P2P
