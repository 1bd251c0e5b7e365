// Loads and saves the client configuration record in the registry (HKEY_LOCAL_MACHINE,
// "Software\Ostrel\TARN" with its "Connections" sub-key), generating what is missing: the
// user hash, the identity key, default ports, server and folders. Registry failures never
// stop a load: an unreadable value takes its default, an unwritable one is skipped. Called by
// the client module at start and stop; not for concurrent use on one record.
#pragma once

#include "engine/base/ClientConfig.h"
#include "platform/Registry.h"

namespace P2P {

inline constexpr const char* kProductKey = "Software\\Ostrel\\TARN";
inline constexpr const char* kConnectionsKey = "Connections";
// What the engine may do to the host beyond its own files: "Open Firewall Ports" and "Watch
// Network Links" (DWORD, 1 when missing; 0 leaves the host's firewall and link events alone).
inline constexpr const char* kHostKey = "Host";
inline constexpr const char* kDefaultUserName = "TARN user";
inline constexpr const char* kDefaultServerIp = "127.0.0.1";
inline constexpr uint16_t kDefaultServerPort = 4661;
inline constexpr uint16_t kDefaultTcpPort = 4662;
inline constexpr uint16_t kDefaultUdpPort = 4672;
inline constexpr uint32_t kDefaultUploadSlots = 4;
inline constexpr uint32_t kDefaultMaxConnections = 500;
inline constexpr uint32_t kDefaultMaxQueue = 5000;

class CClientConfigStore {
 public:
  explicit CClientConfigStore(OSTREL::Platform::CRegistry& registry) : registry_(registry) {}

  // Fills `config` from the registry and writes the result back at once, so that generated
  // and default values are stored. True when the write-back succeeded.
  bool Load(_tagStructClientConfig& config);
  // Writes every persisted field in one atomic save. False when it could not be written.
  bool Save(const _tagStructClientConfig& config);

  // A new user hash from the process-wide generator, reseeded with the time.
  static _tagUnionHash GenerateUserHash();

 private:
  void LoadIdentity(_tagStructClientConfig& config);
  void LoadServer(_tagStructClientConfig& config);
  void LoadFolders(_tagStructClientConfig& config);
  void LoadPorts(_tagStructClientConfig& config);
  void LoadLimits(_tagStructClientConfig& config);

  OSTREL::Platform::CRegistry& registry_;
};

// Sets the fields every start fixes: eD2K version, version and capability words, hello flags.
void ApplyFixedIdentityFields(_tagStructClientConfig& config);

}  // namespace P2P
