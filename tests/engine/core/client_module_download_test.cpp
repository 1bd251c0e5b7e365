#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/core/ClientConfigStore.h"
#include "engine/core/TARNNetClientModule.h"
#include "platform/Registry.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/TestIndexServer.h"

namespace P2P {
namespace {

using OSTREL::Platform::CRegistry;
using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;
using tarn::test::TestIndexServer;

using tarn::test::Holds;

class ClientModuleDownloadTest : public tarn::test::EngineFixture {};

// A download started through the engine root asks the server for sources; once its blocks
// are in, the file is in the shared folder, on the shared-file list and offered to the server.
// A download left unfinished is restored by the next start.
TEST_F(ClientModuleDownloadTest, DownloadAsksForSourcesCompletesAndIsOffered) {
  TestIndexServer server;
  ASSERT_TRUE(server.Start());
  UseServer(server);
  HashWithoutPause();
  ASSERT_FALSE(HasFailure());
  const auto content = tarn::test::PseudoRandomBytes(700000, 31);
  const auto waiting = tarn::test::PseudoRandomBytes(5000, 32);
  const auto record = test::RecordFor(content, "fresh.ogg");
  const std::vector<uint8_t> hash(record.hash.bytes.begin(), record.hash.bytes.end());
  const std::vector<uint8_t> name{'f', 'r', 'e', 's', 'h', '.', 'o', 'g', 'g'};

  CTARNNetClientModule* module = StartEngine();
  ASSERT_NE(module, nullptr);
  bool asked = false, offered = false, shared = false;
  std::filesystem::path sharedFolder = module->GetConfig().sharedPath;
  if (WaitForLogin()) {
    auto file = module->GetDownloadFileManager().AddDownload(record);
    module->GetDownloadFileManager().AddDownload(test::RecordFor(waiting, "later.bin"));
    asked = file && WaitForPacket(server, 0x19, false, [&](auto payload) {
              return Holds(payload, hash);
            });
    if (file) test::DownloadAll(*file, content);
    shared = WaitFor([&] {
      return module->GetUploadFileManager().List().FindByHash(record.hash).Get() != nullptr;
    });
    offered = WaitForPacket(server, 0x15, false, [&](auto payload) {
      return Holds(payload, name);
    });
  }
  StopEngine();
  EXPECT_TRUE(asked);
  EXPECT_TRUE(shared);
  EXPECT_TRUE(offered);
  std::ifstream in(sharedFolder / "fresh.ogg", std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), content);

  module = StartEngine();
  ASSERT_NE(module, nullptr);
  const auto restored =
      module->GetDownloadFileManager().List().FindByHash(test::RecordFor(waiting, "x").hash);
  const bool restoredOk = restored && restored->GetName() == "later.bin";
  StopEngine();
  EXPECT_TRUE(restoredOk);
}

}  // namespace
}  // namespace P2P
