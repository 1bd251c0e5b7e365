#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "engine/core/ClientConfigStore.h"
#include "engine/core/TARNNetClientModule.h"
#include "engine/servers/ServerInfoFile.h"
#include "platform/Registry.h"
#include "platform/XmlFile.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/TestIndexServer.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using OSTREL::Platform::CRegistry;
using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;
using Remote::Server::LoadField;
using tarn::test::TestIndexServer;
using tarn::test::WaitUntil;

// Closes the port holder however the test ends (the fixture stops the engine).
struct ClosedAtEnd {
  int fd = -1;
  ~ClosedAtEnd() {
    if (fd >= 0) close(fd);
  }
};

class ClientModuleServerTest : public tarn::test::EngineFixture {};

// The engine root against three test servers on loopback: it logs in to the configured one,
// learns the other two from its server list, checks all three over UDP, and keeps what it
// learnt in ServerInfo.dat and the registry.
TEST_F(ClientModuleServerTest, LogsInLearnsTheServerListChecksItAndSavesIt) {
  TestIndexServer primary, answering, silent;
  answering.Update([](auto& s) {
    s.address = "127.0.0.3";
    s.name = "second";
  });
  silent.Update([](auto& s) {
    s.address = "127.0.0.4";
    s.answerUdp = false;
  });
  ASSERT_TRUE(answering.Start());
  ASSERT_TRUE(silent.Start());
  primary.Update([&](auto& s) {
    s.address = "127.0.0.2";
    s.loginId = 0x0200007F;
    s.serverList = {{answering.Address(), answering.Port()}, {silent.Address(), silent.Port()}};
  });
  ASSERT_TRUE(primary.Start());

  // The configured UDP port is taken: the engine moves up and keeps the new port.
  ClosedAtEnd holderAtEnd;
  const int holder = holderAtEnd.fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
  socklen_t length = sizeof local;
  getsockname(holder, reinterpret_cast<sockaddr*>(&local), &length);
  const uint16_t takenUdpPort = ntohs(local.sin_port);
  UseServer(primary);  // 127.0.0.2
  Store(ConnectionsKey(), "UDP Port", CRegValue::Dword(takenUdpPort));
  Store(ConnectionsKey(), "TCP Port", CRegValue::Dword(takenUdpPort));
  ASSERT_FALSE(HasFailure());

  ASSERT_EQ(CTARNNetClientModule::PeekInstance(), nullptr);
  CTARNNetClientModule* module = StartEngine();
  ASSERT_NE(module, nullptr);
  CTARNNetServerManager& servers = module->GetServerManager();
  EXPECT_TRUE(WaitForLogin());
  EXPECT_EQ(module->GetConfig().clientId, 0x0200007Fu);
  EXPECT_EQ(module->GetConnectionManager().GetServerTCPConnecter().GetPublicAddress(), 0x0200007Fu);
  EXPECT_TRUE(WaitUntil(
      [&] { return servers.Contains(answering.Address()) && servers.Contains(silent.Address()); }));
  Remote::Server::_tagStructServerInfo* second = servers.FindByAddress(answering.Address());
  Remote::Server::_tagStructServerInfo* mute = servers.FindByAddress(silent.Address());
  ASSERT_TRUE(second && mute);
  EXPECT_TRUE(WaitUntil(
      [&] { return LoadField(second->status.users) == 7 && LoadField(mute->failedCount) == 1; }));
  EXPECT_TRUE(silent.WaitForPackets(0x96, true));
  EXPECT_EQ(LoadField(second->failedCount), 0u);
  const uint16_t boundUdpPort = module->GetConfig().udpPort;
  const std::string configPath = module->GetConfig().configPath;
  StopEngine();

  OSTREL::File::CXmlDocument document;
  ASSERT_TRUE(
      OSTREL::File::LoadXmlFile(document, std::filesystem::path(configPath) / "ServerInfo.dat"));
  const auto saved = Remote::Server::ReadServerInfoDocument(document);
  ASSERT_EQ(saved.size(), 3u);
  for (const auto& entry : saved) {
    if (entry.address == silent.Address()) {
      EXPECT_EQ(entry.failedCount, 1u);
    } else if (entry.address == answering.Address()) {
      EXPECT_EQ(entry.failedCount, 0u);
      EXPECT_EQ(entry.name, "second");
      EXPECT_LT(entry.ping, 1000u);
    }
  }
  EXPECT_GT(boundUdpPort, takenUdpPort);
  const auto stored = Stored(ConnectionsKey(), "UDP Port");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->AsDword(), std::optional<uint32_t>(boundUdpPort));
}

}  // namespace
}  // namespace P2P
