// What the server sessions need from the file and search sides of the engine, as plain
// functions the engine root fills in: the offer list, the downloads that want sources, and
// sinks for found sources, search results and callback requests. An empty function means the
// side is not there: nothing is offered, found sources and results go nowhere. Set before the
// sessions start; read-only afterwards, so any thread may call them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/protocol/ServerMessages.h"
#include "engine/protocol/ServerRequests.h"

namespace P2P::Protocol {

// A source a server named for a download, with the server that named it.
struct SFoundSource {
  uint32_t clientId = 0;  // a low id, or the peer's address in wire order
  uint16_t port = 0;
  uint32_t serverAddress = 0;
  uint16_t serverPort = 0;
};

struct SServerSessionHooks {
  // The offer-files payload (32-bit count, then one offer record per file), tags in the
  // compact form when asked; empty when there is nothing to offer.
  std::function<std::vector<uint8_t>(bool compactTags)> offerFiles;
  // True when the transfer-file list holds anything worth offering.
  std::function<bool()> hasFilesToOffer;
  // The downloads that still need sources, in the download manager's order.
  std::function<std::vector<SSourceRequestEntry>()> downloadsNeedingSources;
  // Sources for the download with `hash`; the sink drops them for unknown or complete files.
  std::function<void(const _tagUnionHash& hash, const std::vector<SFoundSource>& sources)>
      foundSources;
  // One search answer record from a server (TCP: the connected one; UDP: the sender).
  std::function<void(const SOfferRecord& record, uint32_t serverAddress, uint16_t serverPort)>
      searchResult;
  // True once the search manager has been told to stop: no more results are asked for.
  std::function<bool()> searchStopped;
  // A low-id peer asks to be called back.
  std::function<void(uint32_t address, uint16_t port)> callbackRequested;
  // Every second on the main thread: download statistics and the reask pass.
  std::function<void()> periodicTick;
};

// A client id below this is a low id; any other equals the client's public address.
inline constexpr uint32_t kLowIdLimit = 0x1000000;
inline bool IsLowId(uint32_t clientId) { return clientId < kLowIdLimit; }

// The sources worth keeping: unless both we (public address 0 or a low id) and the source are
// low-id clients, since two low ids cannot reach each other.
std::vector<SFoundSource> SelectReachableSources(const std::vector<SSourceAddress>& sources,
                                                 uint32_t publicAddress, uint32_t serverAddress,
                                                 uint16_t serverPort);

}  // namespace P2P::Protocol
