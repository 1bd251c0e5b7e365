// Turns a block read for a peer into the packets that carry it: packed compressed-part packets
// when the peer can inflate them and packing saves at least a tenth, plain sending-part packets
// otherwise. Archives, video and audio are sent plain without trying, as they are packed
// already. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/library/FileCategory.h"
#include "engine/upload/UploadBlockReader.h"

namespace P2P::Shared::File::TransferFile {

bool IsPackingWorthTrying(uint32_t peerCompressionVersion, EFileCategory category);

// Appends the block's packets to `out`, 184320 bytes at a time: in the 64-bit forms for a file
// above kMaxSmallFileSize, in the 32-bit ones for any other. True when the whole block was
// appended; `packed` tells whether any piece went packed. On false `out` may hold the pieces
// before the one that failed (only a block whose fields disagree fails, before any piece).
bool AppendBlockPackets(std::vector<uint8_t>& out, const _tagStructUploadBlock& block,
                        uint32_t peerCompressionVersion, bool* packed = nullptr);

}  // namespace P2P::Shared::File::TransferFile
