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
#include "tests/support/Sandbox.h"
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

const std::string kConnections = std::string(kProductKey) + "\\Connections";

// Stops the process-wide module and closes the port holder however the test ends: a module
// left running after a failed assertion would be handed, stale, to the next test run.
struct RunCleanup {
  CTARNNetClientModule* module = nullptr;
  int holder = -1;
  void StopModule() {
    if (module != nullptr) module->Stop();
    module = nullptr;
  }
  ~RunCleanup() {
    StopModule();
    if (holder >= 0) close(holder);
  }
};

// The engine root against three test servers on loopback: it logs in to the configured one,
// learns the other two from its server list, checks all three over UDP, and keeps what it
// learnt in ServerInfo.dat and the registry.
TEST(ClientModuleServerTest, LogsInLearnsTheServerListChecksItAndSavesIt) {
  tarn::test::Sandbox sandbox;
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
  RunCleanup cleanup;
  const int holder = cleanup.holder = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
  socklen_t length = sizeof local;
  getsockname(holder, reinterpret_cast<sockaddr*>(&local), &length);
  const uint16_t takenUdpPort = ntohs(local.sin_port);
  {
    CRegistry registry(sandbox / "config");
    ASSERT_TRUE(registry.SetValue(RegRoot::kLocalMachine, kProductKey, "Server IP",
                                  CRegValue::String("127.0.0.2")));
    ASSERT_TRUE(registry.SetValue(RegRoot::kLocalMachine, kProductKey, "Server Port",
                                  CRegValue::Dword(primary.Port())));
    ASSERT_TRUE(registry.SetValue(RegRoot::kLocalMachine, kConnections, "UDP Port",
                                  CRegValue::Dword(takenUdpPort)));
    ASSERT_TRUE(registry.SetValue(RegRoot::kLocalMachine, kConnections, "TCP Port",
                                  CRegValue::Dword(takenUdpPort)));
  }

  CTARNNetC2STCPConnecter::ResetPublicAddress();
  ASSERT_EQ(CTARNNetClientModule::PeekInstance(), nullptr);
  CTARNNetClientModule* module = cleanup.module = CTARNNetClientModule::GetInstance();
  ASSERT_NE(module, nullptr);
  CTARNNetServerManager& servers = module->GetServerManager();
  EXPECT_TRUE(WaitUntil([&] { return module->GetConnectionManager().IsConnected(); }));
  EXPECT_EQ(module->GetConfig().clientId, 0x0200007Fu);
  EXPECT_EQ(CTARNNetC2STCPConnecter::GetPublicAddress(), 0x0200007Fu);
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
  cleanup.StopModule();

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
  const auto stored =
      CRegistry(sandbox / "config").QueryValue(RegRoot::kLocalMachine, kConnections, "UDP Port");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->AsDword(), std::optional<uint32_t>(boundUdpPort));
}

}  // namespace
}  // namespace P2P
