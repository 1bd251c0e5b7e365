// The block part of a peer's data request: three [start, end) pairs, written as the three
// starts then the three ends. Plain value; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/protocol/Stream.h"
#include "engine/transfer/BlockPartList.h"
#include "engine/transfer/TransferBlock.h"

namespace P2P::Shared::File::TransferFile {

struct _tagStructRequestRecord {
  static constexpr size_t kPairs = 3;
  std::array<uint32_t, kPairs> start{};
  std::array<uint32_t, kPairs> end{};

  bool UsedPair(size_t index) const { return start[index] != end[index]; }
  bool IsEmpty() const;
  void Clear() { *this = {}; }

  // [first, last) lies inside one used pair.
  bool Contains(uint32_t first, uint32_t last) const;
  // Every used pair lies in a part that `partBitmap` marks available; a pair crossing a part
  // boundary, or beyond the bitmap, is not.
  bool InAvailableParts(std::span<const uint8_t> partBitmap) const;
  // The first three elements of `list`, in order.
  void FillFrom(const CTARNNetBlockPartList& list);
  void AddTo(CTARNNetBlockPartList& list) const;
  void RemoveCoveringFrom(CTARNNetTransferBlockList& blocks) const;

  bool Read(Protocol::CStreamReader& reader);
  bool Write(Protocol::CStreamWriter& writer) const;

  bool operator==(const _tagStructRequestRecord&) const = default;
};

}  // namespace P2P::Shared::File::TransferFile
