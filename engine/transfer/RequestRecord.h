// The block part of a peer's data request: three [start, end) pairs of 64-bit offsets, written
// as the three starts then the three ends, in 32-bit values (the usual form) or in 64-bit ones
// (the form for files above 32 bits). Plain value; any thread.
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
  std::array<uint64_t, kPairs> start{};
  std::array<uint64_t, kPairs> end{};

  bool UsedPair(size_t index) const { return start[index] != end[index]; }
  bool IsEmpty() const;
  void Clear() { *this = {}; }

  // [first, last) lies inside one used pair.
  bool Contains(uint64_t first, uint64_t last) const;
  // Every used pair lies in a part that `partBitmap` marks available; a pair crossing a part
  // boundary, or beyond the bitmap, is not.
  bool InAvailableParts(std::span<const uint8_t> partBitmap) const;
  // The first three elements of `list`, in order.
  void FillFrom(const CTARNNetBlockPartList& list);
  void AddTo(CTARNNetBlockPartList& list) const;
  void RemoveCoveringFrom(CTARNNetTransferBlockList& blocks) const;

  // The 32-bit form; writing fails (nothing written) when an offset does not fit it.
  bool Read(Protocol::CStreamReader& reader);
  bool Write(Protocol::CStreamWriter& writer) const;
  // The 64-bit form.
  bool ReadWide(Protocol::CStreamReader& reader);
  bool WriteWide(Protocol::CStreamWriter& writer) const;

  bool operator==(const _tagStructRequestRecord&) const = default;
};

}  // namespace P2P::Shared::File::TransferFile
