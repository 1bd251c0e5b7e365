#include "engine/net/ServerSessionHooks.h"

namespace P2P::Protocol {

std::vector<SFoundSource> SelectReachableSources(const std::vector<SSourceAddress>& sources,
                                                 uint32_t publicAddress, uint32_t serverAddress,
                                                 uint16_t serverPort) {
  const bool weAreLowId = publicAddress == 0 || IsLowId(publicAddress);
  std::vector<SFoundSource> kept;
  for (const SSourceAddress& source : sources) {
    if (weAreLowId && IsLowId(source.address)) continue;
    kept.push_back({source.address, source.port, serverAddress, serverPort});
  }
  return kept;
}

}  // namespace P2P::Protocol
