#include "engine/transfer/HashSetAnswer.h"

#include "engine/hashing/HashConstants.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"

namespace P2P::Shared::File::TransferFile {

std::vector<uint8_t> BuildHashSetAnswer(CTARNNetTransferFile& file) {
  const _tagUnionHash hash = file.GetHash();
  Protocol::CTARNNetTCPPacket packet(Protocol::kOpHashSetAnswer, Protocol::kProtocolEDonkey);
  if (!packet.Writer().WriteHash(hash)) return {};
  const uint64_t size = file.GetSize();
  if (HASH::HashSetCount(size) == 0) {
    // A single-part file's one hash is the file hash: its set is empty.
    if (!packet.Writer().WriteUInt16(0)) return {};
  } else {
    OSTREL::Process::CLock guard(file.LockObject());
    const auto& list = file.HashSet().HashList();
    // A list for another size, or one that does not derive the file hash, is not this file's.
    if (list.GetFileSize() != size || !list.Matches(hash)) return {};
    if (!list.WriteHashSet(packet.Writer())) return {};
  }
  if (!packet.Finish()) return {};
  return packet.Bytes();
}

}  // namespace P2P::Shared::File::TransferFile
