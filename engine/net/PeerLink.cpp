#include "engine/net/PeerLink.h"

#include <vector>

#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"

namespace P2P {

bool ITARNNetPeerLink::SendPacket(uint8_t protocol, uint8_t opcode,
                                  std::span<const uint8_t> payload) {
  const std::vector<uint8_t> packet = Protocol::BuildPeerPacket(protocol, opcode, payload);
  if (packet.empty()) return false;
  if (QueuedSendBytes() + packet.size() > Protocol::kMaxPeerSendBacklog) {
    Close();
    return false;
  }
  return Send(packet);
}

}  // namespace P2P
