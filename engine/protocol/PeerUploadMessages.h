// Builders of what the upload side sends a peer over TCP: file data as sending-part packets
// (at most kMaxDataPacketBytes data bytes each) or as zlib-packed compressed-part packets, and
// the queue rank. Blocks are appended to a caller's send buffer packet after packet, so a block
// goes out without a copy per packet. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/base/Hash.h"

namespace P2P::Protocol {

// The header and fixed fields before the data of either data packet: 6-byte TCP header, hash,
// start and end (or packed length); 8 more bytes in the 64-bit forms.
inline constexpr size_t kDataPacketOverhead = 6 + 16 + 4 + 4;
inline constexpr size_t kWideDataPacketOverhead = 6 + 16 + 8 + 8;

// Appends sending-part packets covering [start, start + data.size()): hash, start, end, the
// bytes. E3 0x46 with 32-bit offsets, or C5 0xA2 with 64-bit ones when `wide` (the form for
// files above kMaxSmallFileSize). False (nothing appended) for empty data or a range that
// does not fit the form's offsets or the largest file.
bool AppendSendingParts(std::vector<uint8_t>& out, const _tagUnionHash& file, uint64_t start,
                        std::span<const uint8_t> data, bool wide = false);

// Appends compressed-part packets carrying the zlib stream `packed` of the block starting at
// `start`: each holds the hash, the block's start, the whole packed length and the next slice.
// C5 0x40 with 32-bit fields, or C5 0xA1 with 64-bit ones when `wide`. False (nothing
// appended) for an empty or oversize stream or a start the form cannot carry.
bool AppendCompressedParts(std::vector<uint8_t>& out, const _tagUnionHash& file, uint64_t start,
                           std::span<const uint8_t> packed, bool wide = false);

// The zlib stream of `data` when it is at least 10 % smaller than `data`; nothing otherwise
// (and for empty data or a zlib failure). A block whose first 16 KiB pack by less than 5 % is
// not packed at all: trying costs more than sending it plain.
std::optional<std::vector<uint8_t>> PackBlock(std::span<const uint8_t> data);

// C5 0x60: the u16 rank then ten zero bytes.
std::vector<uint8_t> BuildQueueRank(uint16_t rank);
// Ranks travel in 16 bits: a longer queue reports the largest rank.
constexpr uint16_t WireRank(uint32_t rank) {
  return rank > 0xFFFF ? static_cast<uint16_t>(0xFFFF) : static_cast<uint16_t>(rank);
}

}  // namespace P2P::Protocol
