#include "engine/peers/UploadReaskAnswer.h"

#include "engine/protocol/C2CRecvUDPPacket.h"
#include "engine/protocol/PeerUploadMessages.h"

namespace P2P::Client {

std::vector<uint8_t> AnswerReaskPing(CTARNNetUploadScheduler& scheduler, bool fileKnown,
                                     uint32_t address, uint16_t udpPort,
                                     const _tagUnionHash& fileHash) {
  using namespace P2P::Protocol;
  if (!fileKnown) return BuildPeerUdpSignal(kOpUdpFileNotFound);
  const _tagStructReaskResult result = scheduler.Reask(address, udpPort, fileHash);
  switch (result.answer) {
    case EReaskAnswer::kRanked:
      return BuildReaskAck(WireRank(result.rank));
    case EReaskAnswer::kQueueFull:
      return BuildPeerUdpSignal(kOpQueueFull);
    case EReaskAnswer::kUploading:
    case EReaskAnswer::kNotQueued:
      break;
  }
  return {};
}

}  // namespace P2P::Client
