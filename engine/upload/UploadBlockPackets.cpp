#include "engine/upload/UploadBlockPackets.h"

#include <algorithm>
#include <span>

#include "engine/protocol/Limits.h"
#include "engine/protocol/PeerUploadMessages.h"

namespace P2P::Shared::File::TransferFile {

bool IsPackingWorthTrying(uint32_t peerCompressionVersion, EFileCategory category) {
  if (peerCompressionVersion == 0) return false;
  return category != kCategoryArchive && category != kCategoryVideo && category != kCategoryAudio;
}

bool AppendBlockPackets(std::vector<uint8_t>& out, const _tagStructUploadBlock& block,
                        uint32_t peerCompressionVersion, bool* packed) {
  if (packed != nullptr) *packed = false;
  if (block.data.empty() || block.end <= block.start ||
      block.data.size() != uint64_t{block.end} - block.start)
    return false;
  const bool tryPacking = IsPackingWorthTrying(peerCompressionVersion, block.category);
  const bool wide = block.fileSize > Protocol::kMaxSmallFileSize;
  const std::span<const uint8_t> data(block.data);
  // Packed per 184320-byte block, the unit a receiver inflates and checks at once.
  for (size_t done = 0; done < data.size();) {
    const size_t count = std::min<size_t>(Protocol::kMaxTransferBlockLength, data.size() - done);
    const auto piece = data.subspan(done, count);
    const uint64_t start = block.start + done;
    const auto stream = tryPacking ? Protocol::PackBlock(piece) : std::nullopt;
    if (stream && Protocol::AppendCompressedParts(out, block.file, start, *stream, wide)) {
      if (packed != nullptr) *packed = true;
    } else if (!Protocol::AppendSendingParts(out, block.file, start, piece, wide)) {
      return false;
    }
    done += count;
  }
  return true;
}

}  // namespace P2P::Shared::File::TransferFile
