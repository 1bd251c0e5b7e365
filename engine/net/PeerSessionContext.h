// Everything a peer session needs from the engine, handed to it when it is built: our
// identity, who proves identities, the upload service, the transfer budget, how files and
// listed servers are found, the client list; and what the sessions built from it share (our
// address as peers report it, the sessions serving clients, the connections that stopped
// reading, the peers given sources). The engine root builds one (a test or the fuzz target
// builds its own); it outlives every session built from it, and what it points to is set
// before the first session and stays put. Any thread: the shared parts are thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

#include "engine/base/ClientConfig.h"
#include "engine/base/Hash.h"
#include "engine/net/PausedReaderRegistry.h"
#include "engine/net/SecureIdentification.h"
#include "engine/net/ServedSessionRegistry.h"
#include "engine/net/SourceAskLimiter.h"
#include "engine/protocol/Limits.h"
#include "engine/transfer/TransferFile.h"

namespace P2P {

namespace Client {
class CTARNNetClientList;
}
class CTARNNetUploadService;
class CTARNNetTransferBudget;

class CPeerSessionContext {
 public:
  using FileLookup =
      std::function<Shared::File::TransferFile::CTransferFilePtr(const _tagUnionHash& hash)>;
  // The TCP port of a listed server by its address (wire order); none for servers we do not
  // list. A peer's client id change is believed only for listed servers.
  using ServerPortLookup = std::function<std::optional<uint16_t>(uint32_t address)>;

  explicit CPeerSessionContext(const _tagStructClientConfig& ownConfig) : own(ownConfig) {}
  CPeerSessionContext(const CPeerSessionContext&) = delete;
  CPeerSessionContext& operator=(const CPeerSessionContext&) = delete;

  // The file of that hash we share or download; null when there is none (or no lookup).
  Shared::File::TransferFile::CTransferFilePtr FindFile(const _tagUnionHash& hash) const {
    return findFile ? findFile(hash) : Shared::File::TransferFile::CTransferFilePtr();
  }
  std::optional<uint16_t> ServerPort(uint32_t address) const {
    return serverPort ? serverPort(address) : std::nullopt;
  }

  // Our hello and info.
  const _tagStructClientConfig& own;
  // Null: nobody proves identities and remote clients stay unidentified.
  Credit::ITARNNetSecureIdentification* identity = nullptr;
  // Null: uploads are granted without slots and no data is sent.
  CTARNNetUploadService* uploads = nullptr;
  // Null: received data is neither paced nor credited.
  CTARNNetTransferBudget* budget = nullptr;
  FileLookup findFile;
  ServerPortLookup serverPort;
  // Null: a client that only asked of us has no list to leave when its session ends.
  Client::CTARNNetClientList* clients = nullptr;
  // Someone pings the clients whose queues we wait in (the client list's ping hook is set):
  // a session ending in such a queue leaves its client to UDP reasks.
  bool udpReasks = false;

  // Our address as peers report it; 0 while unknown.
  std::atomic<uint32_t> publicAddress{0};
  CServedSessionRegistry served;
  CPausedReaderRegistry pausedReaders;
  CSourceAskLimiter sourceAsks{Protocol::kMaxSourceAskRecords};
};

}  // namespace P2P
