#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/IdentityKey.h"
#include "engine/base/Random.h"
#include "engine/core/ClientConfigStore.h"
#include "engine/core/TARNNetClientModule.h"
#include "platform/Registry.h"
#include "platform/RegistryKey.h"
#include "platform/Resolver.h"
#include "tests/support/EngineFixture.h"

namespace P2P {
namespace {

using OSTREL::Platform::CRegistry;
using OSTREL::Platform::CRegKey;
using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;

const std::string kConnections = std::string(kProductKey) + "\\" + kConnectionsKey;

class ClientModuleTest : public tarn::test::EngineFixture {
 protected:
  // Starts the engine root and stops it again, like one run of the daemon.
  _tagStructClientConfig RunModuleOnce() {
    CTARNNetClientModule* module = StartEngine();
    if (module == nullptr) return {};
    const _tagStructClientConfig config = module->GetConfig();
    StopEngine();
    EXPECT_EQ(CTARNNetClientModule::PeekInstance(), nullptr);
    return config;
  }
  static std::vector<uint8_t> Bytes(const _tagUnionHash& hash) {
    return {hash.bytes.begin(), hash.bytes.end()};
  }
};

TEST_F(ClientModuleTest, EmptyRegistryGetsEveryValueAndTheFourFolders) {
  // The defaults are written at once, before the ports are bound: another engine running on
  // this machine may hold 4662 and 4672, which would move the ports saved at stop.
  CTARNNetClientModule* module = StartEngine();
  ASSERT_NE(module, nullptr);
  const auto tcpPortAtStart = Stored(kConnections, "TCP Port");
  const auto udpPortAtStart = Stored(kConnections, "UDP Port");
  const _tagStructClientConfig config = module->GetConfig();
  StopEngine();
  const auto names = Registry().EnumValueNames(RegRoot::kLocalMachine, kProductKey);
  ASSERT_TRUE(names.has_value());
  EXPECT_EQ(*names,
            (std::vector<std::string>{"User Hash", "Private Key", "User Name", "Application Path",
                                      "Config Path", "Shared Path", "Temp Path", "Download Folders",
                                      "Server IP", "Server Port", "Upload Slots", "Max Upload",
                                      "Max Download", "Max Connections", "Max Queue"}));
  EXPECT_EQ(Registry().EnumValueNames(RegRoot::kLocalMachine, kConnections),
            (std::vector<std::string>{"TCP Port", "UDP Port"}));
  EXPECT_EQ(*Stored(kProductKey, "User Name")->AsString(), kDefaultUserName);
  EXPECT_EQ(*Stored(kProductKey, "Server IP")->AsString(), "127.0.0.1");
  EXPECT_EQ(Stored(kProductKey, "Server Port")->AsDword(), 4661u);
  ASSERT_TRUE(tcpPortAtStart && udpPortAtStart);
  EXPECT_EQ(tcpPortAtStart->AsDword(), 4662u);
  EXPECT_EQ(udpPortAtStart->AsDword(), 4672u);
  EXPECT_EQ(*Stored(kProductKey, "User Hash")->AsBytes(), Bytes(config.userHash));

  const auto data = sandbox_ / "data";
  EXPECT_EQ(config.applicationPath, (data / "Ostrel/TARN").string());
  EXPECT_EQ(config.configPath, (data / "Ostrel/TARN/Config").string());
  for (const char* folder :
       {"Ostrel/TARN", "Ostrel/TARN/Config", "Ostrel/TARN/Shared", "Ostrel/TARN/Temp"})
    EXPECT_TRUE(std::filesystem::is_directory(data / folder)) << folder;
  EXPECT_EQ(std::filesystem::status(data / "Ostrel/TARN/Config").permissions() &
                std::filesystem::perms::all,
            std::filesystem::perms::owner_all)
      << "credits and lists are the owner's alone";
  EXPECT_EQ(*Stored(kProductKey, "Download Folders")->AsMultiString(), std::vector<std::string>{});
  EXPECT_EQ(*Stored(kProductKey, "Temp Path")->AsString(), config.tempPath);
  EXPECT_EQ(config.uploadSlots, 4u);
  EXPECT_EQ(config.maxUploadKiB, 0u);
  EXPECT_EQ(config.maxDownloadKiB, 0u);
  EXPECT_EQ(config.maxConnections, 500u);
  EXPECT_EQ(config.maxQueue, 5000u);
  EXPECT_EQ(Stored(kProductKey, "Max Queue")->AsDword(), 5000u);
}

TEST_F(ClientModuleTest, FixedIdentityWordsAreSetAtEveryStart) {
  const auto config = RunModuleOnce();
  EXPECT_EQ(config.clientVersion, 0x0000B91Au);
  EXPECT_EQ(config.capabilities, 0x3413321Eu);
  EXPECT_EQ(config.ed2kVersion, 60u);
  EXPECT_EQ(config.helloFlags & 0xF, 1u);
  EXPECT_EQ(config.clientId, 0u);
  EXPECT_EQ(config.secondPort, 0u);

  _tagStructClientConfig record;
  record.clientVersion = 0xAB00FFFF;
  record.helloFlags = 0xF0E;
  ApplyFixedIdentityFields(record);
  EXPECT_EQ(record.clientVersion, 0xAB00B91Au);  // the top byte is kept
  EXPECT_EQ(record.helloFlags, 0xF01u);
}

TEST_F(ClientModuleTest, StoredValuesAreKeptAcrossRuns) {
  Store(kProductKey, "User Name", CRegValue::String("Grüße \"nick\" \\"));
  Store(kProductKey, "Server Port", CRegValue::Dword(0x12345));  // low 16 bits count
  Store(kConnections, "TCP Port", CRegValue::Dword(5000));
  Store(kProductKey, "Upload Slots", CRegValue::Dword(1));
  Store(kProductKey, "Max Upload", CRegValue::Dword(1024));
  Store(kProductKey, "Max Queue", CRegValue::String("lots"));  // wrong type: the default
  const auto first = RunModuleOnce();
  const auto second = RunModuleOnce();
  EXPECT_EQ(first.userHash, second.userHash);
  EXPECT_EQ(
      std::string(first.privateKey.begin(), first.privateKey.begin() + first.privateKeyLength),
      std::string(second.privateKey.begin(), second.privateKey.begin() + second.privateKeyLength));
  EXPECT_EQ(second.userName, "Grüße \"nick\" \\");
  EXPECT_EQ(second.serverPort, 0x2345);
  EXPECT_EQ(second.tcpPort, 5000);
  EXPECT_EQ(Stored(kProductKey, "Server Port")->AsDword(), 0x2345u);
  EXPECT_EQ(second.uploadSlots, 1u);
  EXPECT_EQ(second.maxUploadKiB, 1024u);
  EXPECT_EQ(second.maxQueue, 5000u);
  EXPECT_EQ(Stored(kProductKey, "Max Upload")->AsDword(), 1024u);
}

TEST_F(ClientModuleTest, UserHashOfTheWrongLengthOrTypeIsReplacedAndWrittenBack) {
  for (const CRegValue& bad :
       {CRegValue::Binary(std::vector<uint8_t>(15, 0xAA)),
        CRegValue::Binary(std::vector<uint8_t>(17, 0xAA)), CRegValue::String("0123456789ABCDEF")}) {
    Store(kProductKey, "User Hash", bad);
    const auto config = RunModuleOnce();
    EXPECT_EQ(config.userHash.bytes[5], 14);
    EXPECT_EQ(config.userHash.bytes[14], 111);
    EXPECT_NE(Bytes(config.userHash), std::vector<uint8_t>(16, 0xAA));
    EXPECT_EQ(*Stored(kProductKey, "User Hash")->AsBytes(), Bytes(config.userHash));
  }
}

TEST_F(ClientModuleTest, GeneratedUserHashFollowsTheGeneratorSequence) {
  const _tagUnionHash hash = CClientConfigStore::GenerateUserHash();
  // Replay the generator from the same seed (the time in seconds, so retry across a tick).
  for (int attempt = 0; attempt < 2; ++attempt) {
    CRandom::SeedWithTime();
    _tagUnionHash expected;
    for (size_t word = 0; word < 8; ++word) {
      uint16_t value = static_cast<uint16_t>(CRandom::Next());
      if (CRandom::Next() >= 0x3FFF) value |= 0x8000;
      expected.bytes[2 * word] = value & 0xFF;
      expected.bytes[2 * word + 1] = value >> 8;
    }
    expected.bytes[5] = 14;
    expected.bytes[14] = 111;
    if (expected == hash) return;
  }
  ADD_FAILURE() << "the user hash does not come from the seeded generator";
}

TEST(RandomTest, IsTheClassicLinearCongruentialGenerator) {
  CRandom::Seed(1);
  EXPECT_EQ(CRandom::Next(), 41);
  EXPECT_EQ(CRandom::Next(), 18467);
  EXPECT_EQ(CRandom::Next(), 6334);
  CRandom::Seed(0xFFFFFFFF);
  for (int i = 0; i < 1000; ++i) {
    const int value = CRandom::Next();
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 32767);
  }
}

TEST_F(ClientModuleTest, UnusablePrivateKeyIsReplacedByANew384BitKey) {
  const std::string notAKey = "bm90IGFuIFJTQSBrZXk=\n";  // Base64, but of plain text
  Store(kProductKey, "Private Key", CRegValue::Binary({notAKey.begin(), notAKey.end()}));
  const auto config = RunModuleOnce();
  ASSERT_GT(config.privateKeyLength, 0u);
  const std::span<const uint8_t> text(config.privateKey.data(), config.privateKeyLength);
  EXPECT_TRUE(IsUsableIdentityKey(text));
  EXPECT_EQ(*Stored(kProductKey, "Private Key")->AsBytes(),
            std::vector<uint8_t>(text.begin(), text.end()));
  // Base64 lines of at most 72 characters.
  const std::string asText(text.begin(), text.end());
  size_t start = 0;
  while (start < asText.size()) {
    const size_t end = asText.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end - start, 72u);
    start = end + 1;
  }
}

TEST(IdentityKeyTest, GeneratedKeysAreUsableAndGarbageIsNot) {
  const auto key = GenerateIdentityKey();
  ASSERT_TRUE(key.has_value());
  EXPECT_LE(key->size(), kPrivateKeyCapacity);
  const auto bytes = [](const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
  };
  EXPECT_TRUE(IsUsableIdentityKey(bytes(*key)));
  EXPECT_FALSE(IsUsableIdentityKey(bytes("")));
  EXPECT_FALSE(IsUsableIdentityKey(bytes("!!!! not base64 ????")));
  EXPECT_FALSE(IsUsableIdentityKey(bytes(key->substr(0, key->size() / 2))));
}

TEST_F(ClientModuleTest, ServerNamesAreResolvedAndWrittenBackDotted) {
  Store(kProductKey, "Server IP", CRegValue::String("localhost"));
  EXPECT_EQ(OSTREL::Platform::FormatIPv4(RunModuleOnce().serverIp), "127.0.0.1");
  EXPECT_EQ(*Stored(kProductKey, "Server IP")->AsString(), "127.0.0.1");

  Store(kProductKey, "Server IP", CRegValue::String("no-such-server.invalid"));
  EXPECT_EQ(RunModuleOnce().serverIp, 0xFFFFFFFFu);
  EXPECT_EQ(*Stored(kProductKey, "Server IP")->AsString(), "255.255.255.255");
}

TEST_F(ClientModuleTest, OverlongTextsTakeTheirDefaults) {
  Store(kProductKey, "User Name", CRegValue::String(std::string(300, 'x')));
  EXPECT_EQ(RunModuleOnce().userName, kDefaultUserName);
}

TEST_F(ClientModuleTest, ConfiguredFoldersAreCreatedWithTheirParents) {
  const auto shared = sandbox_ / "elsewhere/deep/shared";
  Store(kProductKey, "Shared Path", CRegValue::String(shared.string()));
  EXPECT_EQ(RunModuleOnce().sharedPath, shared.string());
  EXPECT_TRUE(std::filesystem::is_directory(shared));
}

TEST_F(ClientModuleTest, ACorruptRegistryFileStillStartsWithDefaults) {
  sandbox_.WriteFile("config/HKEY_LOCAL_MACHINE.reg",
                     "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\Software\\Ostrel"
                     "\\TARN]\n\"User Hash\"=hex:zz\n\"Server Port\"=dword:\x01\xff\n");
  const auto config = RunModuleOnce();
  EXPECT_EQ(config.serverPort, 4661);
  EXPECT_EQ(config.userHash.bytes[14], 111);
  EXPECT_EQ(Stored(kProductKey, "Server Port")->AsDword(), 4661u);
}

}  // namespace
}  // namespace P2P
