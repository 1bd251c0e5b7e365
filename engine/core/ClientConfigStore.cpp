#include "engine/core/ClientConfigStore.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>

#include "engine/base/IdentityKey.h"
#include "engine/base/Random.h"
#include "engine/protocol/Limits.h"
#include "framework/Log.h"
#include "platform/Folders.h"
#include "platform/RegistryKey.h"
#include "platform/Resolver.h"

namespace P2P {
namespace {

using OSTREL::Platform::CFolders;
using OSTREL::Platform::CRegKey;
using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;

struct LimitSetting {
  const char* valueName;
  uint32_t defaultValue;
  uint32_t _tagStructClientConfig::*field;
};

constexpr LimitSetting kLimits[] = {
    {"Upload Slots", kDefaultUploadSlots, &_tagStructClientConfig::uploadSlots},
    {"Max Upload", 0, &_tagStructClientConfig::maxUploadKiB},
    {"Max Download", 0, &_tagStructClientConfig::maxDownloadKiB},
    {"Max Connections", kDefaultMaxConnections, &_tagStructClientConfig::maxConnections},
    {"Max Queue", kDefaultMaxQueue, &_tagStructClientConfig::maxQueue},
};

constexpr uint8_t kUserHashByte5 = 14;
constexpr uint8_t kUserHashByte14 = 111;

struct FolderSetting {
  const char* valueName;
  const char* defaultRelative;
  std::string _tagStructClientConfig::*field;
};

constexpr FolderSetting kFolders[] = {
    {"Application Path", "Ostrel/TARN", &_tagStructClientConfig::applicationPath},
    {"Config Path", "Ostrel/TARN/Config", &_tagStructClientConfig::configPath},
    {"Shared Path", "Ostrel/TARN/Shared", &_tagStructClientConfig::sharedPath},
    {"Temp Path", "Ostrel/TARN/Temp", &_tagStructClientConfig::tempPath},
};

constexpr const char* kDownloadFoldersValue = "Download Folders";

// Reads through a key that may not exist (a registry that could not even create it).
class CReader {
 public:
  explicit CReader(std::optional<CRegKey> key) : key_(std::move(key)) {}
  std::optional<std::string> String(const char* name) const {
    return key_ ? key_->QueryString(name, Protocol::kMaxConfigTextChars) : std::nullopt;
  }
  std::optional<uint32_t> Dword(const char* name) const {
    return key_ ? key_->QueryDword(name) : std::nullopt;
  }
  std::optional<std::vector<uint8_t>> Binary(const char* name, size_t maxBytes) const {
    return key_ ? key_->QueryBinary(name, maxBytes) : std::nullopt;
  }
  std::vector<std::string> List(const char* name) const {
    const auto value = key_ ? key_->QueryValue(name) : std::nullopt;
    const auto* list = value ? value->AsMultiString() : nullptr;
    return list != nullptr ? *list : std::vector<std::string>{};
  }

 private:
  std::optional<CRegKey> key_;
};

std::string ConnectionsPath() { return std::string(kProductKey) + "\\" + kConnectionsKey; }

void SetPrivateKey(_tagStructClientConfig& config, std::span<const uint8_t> text) {
  config.privateKeyLength = static_cast<uint32_t>(std::min(text.size(), kPrivateKeyCapacity));
  config.privateKey.fill(0);
  std::memcpy(config.privateKey.data(), text.data(), config.privateKeyLength);
}

}  // namespace

void ApplyFixedIdentityFields(_tagStructClientConfig& config) {
  config.ed2kVersion = kEd2kVersion;
  config.clientVersion = (config.clientVersion & kClientVersionKeptBits) | kClientVersionWord;
  config.capabilities = kCapabilityWord;
  config.helloFlags = (config.helloFlags & ~0xFu) | 1u;
}

_tagUnionHash CClientConfigStore::GenerateUserHash() {
  CRandom::SeedWithTime();
  _tagUnionHash hash;
  for (size_t word = 0; word < hash.kSize / 2; ++word) {
    uint16_t value = static_cast<uint16_t>(CRandom::Next());
    if (CRandom::Next() >= 0x3FFF) value |= 0x8000;
    hash.bytes[2 * word] = static_cast<uint8_t>(value & 0xFF);
    hash.bytes[2 * word + 1] = static_cast<uint8_t>(value >> 8);
  }
  hash.bytes[5] = kUserHashByte5;
  hash.bytes[14] = kUserHashByte14;
  return hash;
}

bool CClientConfigStore::Load(_tagStructClientConfig& config) {
  LoadIdentity(config);
  LoadServer(config);
  ApplyFixedIdentityFields(config);
  LoadFolders(config);
  LoadPorts(config);
  LoadLimits(config);
  return Save(config);
}

void CClientConfigStore::LoadIdentity(_tagStructClientConfig& config) {
  const CReader product(CRegKey::Create(registry_, RegRoot::kLocalMachine, kProductKey));

  const auto hash = product.Binary("User Hash", _tagUnionHash::kSize);
  if (hash && hash->size() == _tagUnionHash::kSize) {
    std::copy(hash->begin(), hash->end(), config.userHash.bytes.begin());
  } else {
    config.userHash = GenerateUserHash();
  }

  config.userName = product.String("User Name").value_or(kDefaultUserName);

  const auto key = product.Binary("Private Key", kPrivateKeyCapacity);
  if (key && IsUsableIdentityKey(*key)) {
    SetPrivateKey(config, *key);
    return;
  }
  config.privateKeyLength = 0;
  if (const auto generated = GenerateIdentityKey()) {
    SetPrivateKey(
        config, std::span(reinterpret_cast<const uint8_t*>(generated->data()), generated->size()));
  }
}

void CClientConfigStore::LoadServer(_tagStructClientConfig& config) {
  const CReader product(CRegKey::Open(registry_, RegRoot::kLocalMachine, kProductKey));
  config.serverPort =
      static_cast<uint16_t>(product.Dword("Server Port").value_or(kDefaultServerPort));
  const std::string host = product.String("Server IP").value_or(kDefaultServerIp);
  config.serverIp = OSTREL::Platform::ResolveIPv4(host);
  if (config.serverIp == OSTREL::Platform::kInvalidAddress)
    OSTREL::LogWarning("server \"", host, "\" does not resolve");
}

void CClientConfigStore::LoadFolders(_tagStructClientConfig& config) {
  const CReader product(CRegKey::Open(registry_, RegRoot::kLocalMachine, kProductKey));
  const std::filesystem::path base = CFolders::BaseDataFolder();
  for (const FolderSetting& setting : kFolders) {
    std::string& path = config.*setting.field;
    path = product.String(setting.valueName).value_or((base / setting.defaultRelative).string());
    // The configuration folder holds the credits and the lists: the owner's alone.
    const bool isConfig = setting.field == &_tagStructClientConfig::configPath;
    std::error_code error;
    if (isConfig ? !CFolders::CreatePrivateFolder(path)
                 : !std::filesystem::exists(path, error) && !CFolders::CreateFolderTree(path))
      OSTREL::LogWarning("cannot create the folder ", path);
  }
  config.downloadFolders = product.List(kDownloadFoldersValue);
}

void CClientConfigStore::LoadPorts(_tagStructClientConfig& config) {
  const CReader connections(CRegKey::Create(registry_, RegRoot::kLocalMachine, ConnectionsPath()));
  config.tcpPort = static_cast<uint16_t>(connections.Dword("TCP Port").value_or(kDefaultTcpPort));
  config.udpPort = static_cast<uint16_t>(connections.Dword("UDP Port").value_or(kDefaultUdpPort));
}

void CClientConfigStore::LoadLimits(_tagStructClientConfig& config) {
  const CReader product(CRegKey::Open(registry_, RegRoot::kLocalMachine, kProductKey));
  for (const LimitSetting& setting : kLimits)
    config.*setting.field = product.Dword(setting.valueName).value_or(setting.defaultValue);
}

bool CClientConfigStore::Save(const _tagStructClientConfig& config) {
  const std::vector<uint8_t> hash(config.userHash.bytes.begin(), config.userHash.bytes.end());
  const uint32_t keyLength =
      std::min<uint32_t>(config.privateKeyLength, static_cast<uint32_t>(kPrivateKeyCapacity));
  const std::vector<uint8_t> key(config.privateKey.begin(), config.privateKey.begin() + keyLength);

  const bool saved = registry_.Update(RegRoot::kLocalMachine, [&](auto& hive) {
    auto& product = hive.CreateKey(kProductKey);
    product.SetValue("User Hash", CRegValue::Binary(hash));
    product.SetValue("Private Key", CRegValue::Binary(key));
    product.SetValue("User Name", CRegValue::String(config.userName));
    for (const FolderSetting& setting : kFolders)
      product.SetValue(setting.valueName, CRegValue::String(config.*setting.field));
    product.SetValue(kDownloadFoldersValue, CRegValue::MultiString(config.downloadFolders));
    product.SetValue("Server IP", CRegValue::String(OSTREL::Platform::FormatIPv4(config.serverIp)));
    product.SetValue("Server Port", CRegValue::Dword(config.serverPort));
    for (const LimitSetting& setting : kLimits)
      product.SetValue(setting.valueName, CRegValue::Dword(config.*setting.field));
    auto& connections = product.CreateSubKey(kConnectionsKey);
    connections.SetValue("TCP Port", CRegValue::Dword(config.tcpPort));
    connections.SetValue("UDP Port", CRegValue::Dword(config.udpPort));
    return true;
  });
  if (!saved) OSTREL::LogWarning("the configuration could not be written to the registry");
  return saved;
}

}  // namespace P2P
