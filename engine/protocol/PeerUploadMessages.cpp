#include "engine/protocol/PeerUploadMessages.h"

#include <zlib.h>

#include <algorithm>

#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/protocol/Stream.h"

namespace P2P::Protocol {
namespace {

constexpr size_t kLengthOffset = 1;
constexpr size_t kQueueRankPadding = 10;
constexpr size_t kPackProbeBytes = 4096;

// One data packet: header, hash, start, the third field (32-bit, or 64-bit when `wide`), the
// bytes; length patched last.
void AppendDataPacket(std::vector<uint8_t>& out, uint8_t protocol, uint8_t opcode, bool wide,
                      const _tagUnionHash& file, uint64_t start, uint64_t third,
                      std::span<const uint8_t> bytes) {
  const size_t begin = out.size();
  out.reserve(begin + kWideDataPacketOverhead + bytes.size());
  CStreamWriter writer(out);
  writer.WriteUInt8(protocol);
  writer.WriteUInt32(0);
  writer.WriteUInt8(opcode);
  writer.WriteHash(file);
  if (wide) {
    writer.WriteUInt64(start);
    writer.WriteUInt64(third);
  } else {
    writer.WriteUInt32(static_cast<uint32_t>(start));
    writer.WriteUInt32(static_cast<uint32_t>(third));
  }
  writer.WriteBytes(bytes);
  writer.PatchUInt32(begin + kLengthOffset,
                     static_cast<uint32_t>(out.size() - begin - kTcpFrameSize));
}

// The largest offset a data packet's form carries.
constexpr uint64_t OffsetLimit(bool wide) { return wide ? kMaxFileSize : UINT32_MAX; }

// The fastest level: serving must keep up with the link, and the data that packs well (text,
// logs, documents) packs well at any level.
std::optional<std::vector<uint8_t>> Deflate(std::span<const uint8_t> data) {
  uLongf packedSize = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, data.data(), static_cast<uLong>(data.size()),
                Z_BEST_SPEED) != Z_OK)
    return std::nullopt;
  packed.resize(packedSize);
  return packed;
}

}  // namespace

bool AppendSendingParts(std::vector<uint8_t>& out, const _tagUnionHash& file, uint64_t start,
                        std::span<const uint8_t> data, bool wide) {
  const uint64_t limit = OffsetLimit(wide);
  if (data.empty() || start > limit || data.size() > limit - start) return false;
  const uint8_t protocol = wide ? kProtocolExtended : kProtocolEDonkey;
  const uint8_t opcode = wide ? kOpSendingPartWide : kOpSendingPart;
  for (size_t done = 0; done < data.size();) {
    const size_t count = std::min<size_t>(kMaxDataPacketBytes, data.size() - done);
    const uint64_t first = start + done;
    AppendDataPacket(out, protocol, opcode, wide, file, first, first + count,
                     data.subspan(done, count));
    done += count;
  }
  return true;
}

bool AppendCompressedParts(std::vector<uint8_t>& out, const _tagUnionHash& file, uint64_t start,
                           std::span<const uint8_t> packed, bool wide) {
  if (packed.empty() || packed.size() > kMaxPackedBlockInput || start >= OffsetLimit(wide))
    return false;
  const uint8_t opcode = wide ? kOpCompressedPartWide : kOpCompressedPart;
  for (size_t done = 0; done < packed.size();) {
    const size_t count = std::min<size_t>(kMaxDataPacketBytes, packed.size() - done);
    AppendDataPacket(out, kProtocolExtended, opcode, wide, file, start, packed.size(),
                     packed.subspan(done, count));
    done += count;
  }
  return true;
}

std::optional<std::vector<uint8_t>> PackBlock(std::span<const uint8_t> data) {
  if (data.empty() || data.size() > kMaxUploadRequestLength) return std::nullopt;
  // Packing data that does not pack costs far more than sending it: a probe of the block's
  // start that saves under a twentieth rules the whole block out.
  if (data.size() >= 2 * kPackProbeBytes) {
    const auto probe = Deflate(data.first(kPackProbeBytes));
    if (!probe || probe->size() * 20 > kPackProbeBytes * 19) return std::nullopt;
  }
  auto packed = Deflate(data);
  // Packing that saves less than a tenth is not worth the peer's inflating.
  if (!packed || uint64_t{packed->size()} * 10 > uint64_t{data.size()} * 9) return std::nullopt;
  return packed;
}

std::vector<uint8_t> BuildQueueRank(uint16_t rank) {
  CTARNNetTCPPacket packet(kOpQueueRank, kProtocolExtended);
  packet.Writer().WriteUInt16(rank);
  for (size_t i = 0; i < kQueueRankPadding; ++i) packet.Writer().WriteUInt8(0);
  packet.Finish();
  return packet.Bytes();
}

}  // namespace P2P::Protocol
