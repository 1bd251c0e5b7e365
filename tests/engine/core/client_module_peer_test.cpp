// The engine root's peer wiring: a source given to a download becomes a client record and a
// session that fetches the file from a test peer; the listener hands accepted connections to
// peer sessions.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/core/ClientConfigStore.h"
#include "engine/core/TARNNetClientModule.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "platform/Registry.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/support/LoopbackPair.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TestIndexServer.h"
#include "tests/support/TestPeer.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using namespace std::chrono_literals;
using OSTREL::Platform::CRegistry;
using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;

TEST(ClientModulePeerTest, SourceOfADownloadIsFetchedFromAndTheListenerServesHellos) {
  tarn::test::Sandbox sandbox;
  tarn::test::TestIndexServer server;
  ASSERT_TRUE(server.Start());
  {
    CRegistry registry(sandbox / "config");
    ASSERT_TRUE(registry.SetValue(RegRoot::kLocalMachine, kProductKey, "Server Port",
                                  CRegValue::Dword(server.Port())));
    ASSERT_TRUE(registry.SetValue(RegRoot::kLocalMachine, kProductKey, "Hashing Pause",
                                  CRegValue::Dword(0)));
  }
  tarn::test::TestPeer::Settings settings;
  settings.content = tarn::test::PseudoRandomBytes(9728000 + 400000, 41);
  settings.name = "peer.bin";
  settings.compressed = true;
  tarn::test::TestPeer peer(settings);
  ASSERT_TRUE(peer.Start());

  CTARNNetClientModule* module = CTARNNetClientModule::GetInstance();
  ASSERT_NE(module, nullptr);
  const std::filesystem::path sharedFolder = module->GetConfig().sharedPath;
  const auto record = test::RecordFor(settings.content, "peer.bin");
  auto file = module->GetDownloadFileManager().AddDownload(record);
  const bool added = file && module->GetDownloadFileManager().AddSource(
                                 record.hash, peer.Address(), peer.Port(), 0, 0);
  const bool shared = added && tarn::test::WaitUntil([&] {
    return module->GetUploadFileManager().List().FindByHash(record.hash).Get() != nullptr;
  }, 30s);

  // An incoming connection is a session: a hello is answered with info and hello answer.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(module->GetConfig().tcpPort);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    _tagStructClientConfig remote;
    remote.userHash.bytes.fill(0x33);
    const auto hello = Protocol::BuildPeerPacket(Protocol::kProtocolEDonkey, Protocol::kOpPeerHello,
                                                 Protocol::BuildHelloPayload(remote, false));
    tarn::test::WriteAll(fd, std::string(hello.begin(), hello.end()));
    answer = tarn::test::ReadExactly(fd, 6);
  }
  close(fd);
  module->Stop();

  EXPECT_TRUE(added);
  EXPECT_TRUE(shared);
  std::ifstream in(sharedFolder / "peer.bin", std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), settings.content);
  ASSERT_EQ(answer.size(), 6u);
  EXPECT_EQ(static_cast<uint8_t>(answer[0]), Protocol::kProtocolExtended);
  EXPECT_EQ(static_cast<uint8_t>(answer[5]), Protocol::kOpInfo);
}

}  // namespace
}  // namespace P2P
