#include "engine/transfer/RequestRecord.h"

#include <cstdint>

#include "engine/hashing/HashConstants.h"

namespace P2P::Shared::File::TransferFile {

bool _tagStructRequestRecord::IsEmpty() const {
  for (size_t i = 0; i < kPairs; ++i)
    if (UsedPair(i)) return false;
  return true;
}

bool _tagStructRequestRecord::Contains(uint64_t first, uint64_t last) const {
  for (size_t i = 0; i < kPairs; ++i)
    if (UsedPair(i) && start[i] <= first && last <= end[i]) return true;
  return false;
}

bool _tagStructRequestRecord::InAvailableParts(std::span<const uint8_t> partBitmap) const {
  for (size_t i = 0; i < kPairs; ++i) {
    if (!UsedPair(i)) continue;
    if (start[i] > end[i]) return false;
    const uint64_t part = start[i] / HASH::kPartSize;
    if ((end[i] - 1) / HASH::kPartSize != part) return false;
    if (part >= partBitmap.size() || partBitmap[part] == 0) return false;
  }
  return true;
}

void _tagStructRequestRecord::FillFrom(const CTARNNetBlockPartList& list) {
  Clear();
  for (size_t i = 0; i < kPairs && i < list.Size(); ++i) {
    start[i] = list[i].start;
    end[i] = list[i].end;
  }
}

void _tagStructRequestRecord::AddTo(CTARNNetBlockPartList& list) const {
  for (size_t i = 0; i < kPairs; ++i)
    if (UsedPair(i)) list.Add(start[i], end[i]);
}

void _tagStructRequestRecord::RemoveCoveringFrom(CTARNNetTransferBlockList& blocks) const {
  for (size_t i = 0; i < kPairs; ++i)
    if (UsedPair(i)) blocks.RemoveCovering(start[i]);
}

bool _tagStructRequestRecord::Read(Protocol::CStreamReader& reader) {
  if (reader.Remaining() < 4 * 2 * kPairs) return false;
  uint32_t value = 0;
  for (uint64_t& offset : start) offset = reader.ReadUInt32(value) ? value : 0;
  for (uint64_t& offset : end) offset = reader.ReadUInt32(value) ? value : 0;
  return true;
}

bool _tagStructRequestRecord::Write(Protocol::CStreamWriter& writer) const {
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter out(bytes);
  for (const auto* offsets : {&start, &end}) {
    for (uint64_t offset : *offsets) {
      if (offset > UINT32_MAX) return false;
      out.WriteUInt32(static_cast<uint32_t>(offset));
    }
  }
  return writer.WriteBytes(bytes);
}

bool _tagStructRequestRecord::ReadWide(Protocol::CStreamReader& reader) {
  if (reader.Remaining() < 8 * 2 * kPairs) return false;
  for (uint64_t& offset : start) reader.ReadUInt64(offset);
  for (uint64_t& offset : end) reader.ReadUInt64(offset);
  return true;
}

bool _tagStructRequestRecord::WriteWide(Protocol::CStreamWriter& writer) const {
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter out(bytes);
  for (uint64_t offset : start) out.WriteUInt64(offset);
  for (uint64_t offset : end) out.WriteUInt64(offset);
  return writer.WriteBytes(bytes);
}

}  // namespace P2P::Shared::File::TransferFile
