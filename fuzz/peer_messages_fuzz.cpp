// Peer packet payloads: the first byte picks the reader (hello, hello answer, info, part
// status, hash set, plain and packed data in both offset forms, sources, file name and the
// asker's status of a file name request); the rest is the payload.
#include <cstdint>
#include <vector>

#include "engine/protocol/PeerFileMessages.h"
#include "engine/protocol/PeerMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace P2P::Protocol;
  if (size < 1) return 0;
  const std::span<const uint8_t> payload(data + 1, size - 1);
  CStreamReader reader(payload);
  _tagStructPeerIdentity identity;
  _tagStructDataPacket packet;
  P2P::_tagUnionHash file;
  std::vector<P2P::_tagUnionHash> hashes;
  std::vector<_tagStructPeerSource> sources;
  std::string name;
  switch (data[0] % 9) {
    case 0:
      ReadHello(payload, false, identity);
      break;
    case 1:
      ReadHello(payload, true, identity);
      break;
    case 2:
      ReadInfo(payload, identity);
      break;
    case 3:
      ReadPartStatus(reader, 3 * 9728000u + 5);
      break;
    case 4:
      ReadHashSet(payload, file, hashes);
      break;
    case 5:  // both forms: 32-bit and 64-bit offsets
      ReadSendingPart(payload, packet);
      ReadSendingPart(payload, packet, nullptr, true);
      break;
    case 6:
      ReadCompressedPart(payload, packet);
      ReadCompressedPart(payload, packet, nullptr, true);
      break;
    case 7:
      ReadSources(reader, (size & 1) != 0, sources);
      break;
    default: {
      ReadFileName(reader, name);
      // The same bytes as what follows the hash of a file name request.
      CStreamReader tail(payload);
      SAskerParts asker;
      ReadFileNameRequestTail(tail, 0xFFFFFFFF, 2 * 9728000u + 5, asker);
      break;
    }
  }
  return 0;
}
