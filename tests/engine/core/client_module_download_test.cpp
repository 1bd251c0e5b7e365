#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/core/ClientConfigStore.h"
#include "engine/core/TARNNetClientModule.h"
#include "platform/Registry.h"
#include "tests/engine/files/DownloadTestKit.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TestIndexServer.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using OSTREL::Platform::CRegistry;
using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;
using tarn::test::TestIndexServer;

bool Holds(const std::vector<uint8_t>& payload, const std::vector<uint8_t>& part) {
  return std::search(payload.begin(), payload.end(), part.begin(), part.end()) != payload.end();
}

// A download started through the engine root asks the server for sources; once its blocks
// are in, the file is in the shared folder, on the shared-file list and offered to the server.
// A download left unfinished is restored by the next start.
TEST(ClientModuleDownloadTest, DownloadAsksForSourcesCompletesAndIsOffered) {
  tarn::test::Sandbox sandbox;
  TestIndexServer server;
  ASSERT_TRUE(server.Start());
  {
    CRegistry registry(sandbox / "config");
    ASSERT_TRUE(registry.SetValue(RegRoot::kLocalMachine, kProductKey, "Server Port",
                                  CRegValue::Dword(server.Port())));
    ASSERT_TRUE(registry.SetValue(RegRoot::kLocalMachine, kProductKey, "Hashing Pause",
                                  CRegValue::Dword(0)));
  }
  const auto content = tarn::test::PseudoRandomBytes(700000, 31);
  const auto waiting = tarn::test::PseudoRandomBytes(5000, 32);
  const auto record = test::RecordFor(content, "fresh.ogg");
  const std::vector<uint8_t> hash(record.hash.bytes.begin(), record.hash.bytes.end());
  const std::vector<uint8_t> name{'f', 'r', 'e', 's', 'h', '.', 'o', 'g', 'g'};

  CTARNNetClientModule* module = CTARNNetClientModule::GetInstance();
  ASSERT_NE(module, nullptr);
  bool asked = false, offered = false, shared = false;
  std::filesystem::path sharedFolder = module->GetConfig().sharedPath;
  if (tarn::test::WaitUntil([&] { return module->GetConnectionManager().IsConnected(); })) {
    auto file = module->GetDownloadFileManager().AddDownload(record);
    module->GetDownloadFileManager().AddDownload(test::RecordFor(waiting, "later.bin"));
    asked = file && tarn::test::WaitUntil([&] {
              for (const auto& packet : server.Received())
                if (!packet.udp && packet.opcode == 0x19 && Holds(packet.payload, hash))
                  return true;
              return false;
            });
    if (file) test::DownloadAll(*file, content);
    shared = tarn::test::WaitUntil([&] {
      return module->GetUploadFileManager().List().FindByHash(record.hash).Get() != nullptr;
    });
    offered = tarn::test::WaitUntil([&] {
      for (const auto& packet : server.Received())
        if (!packet.udp && packet.opcode == 0x15 && Holds(packet.payload, name)) return true;
      return false;
    });
  }
  module->Stop();
  EXPECT_TRUE(asked);
  EXPECT_TRUE(shared);
  EXPECT_TRUE(offered);
  std::ifstream in(sharedFolder / "fresh.ogg", std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), content);

  module = CTARNNetClientModule::GetInstance();
  ASSERT_NE(module, nullptr);
  const auto restored =
      module->GetDownloadFileManager().List().FindByHash(test::RecordFor(waiting, "x").hash);
  const bool restoredOk = restored && restored->GetName() == "later.bin";
  module->Stop();
  EXPECT_TRUE(restoredOk);
}

}  // namespace
}  // namespace P2P
