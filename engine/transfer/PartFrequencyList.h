// How many known sources hold each part of a download, kept rarest first so that block choice
// asks for rare parts before common ones. Not synchronised; the owning transfer file's lock
// guards it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace P2P::Shared::File::TransferFile {

struct _tagStructPartFrequency {
  uint16_t part = 0;
  uint32_t count = 0;  // 0xFFFFFFFF is pinned: never counted up or down, sorts last

  bool operator==(const _tagStructPartFrequency&) const = default;
};

class CTARNNetPartFrequencyList {
 public:
  static constexpr uint32_t kPinned = 0xFFFFFFFFu;

  explicit CTARNNetPartFrequencyList(uint32_t partCount = 0) { Reset(partCount); }

  // One entry per part, in part order, all counts 0.
  void Reset(uint32_t partCount);
  uint32_t PartCount() const { return static_cast<uint32_t>(entries_.size()); }
  uint32_t SourceCount() const { return sources_; }

  // A source's part bitmap counted in or out; a bitmap of another length is ignored (false).
  // The list is sorted again after each change.
  bool AddSource(std::span<const uint8_t> partBitmap);
  bool RemoveSource(std::span<const uint8_t> partBitmap);
  void SetCount(uint16_t part, uint32_t count);

  // Stable ascending sort on the count: equal counts keep their previous order.
  void Sort();

  const std::vector<_tagStructPartFrequency>& Entries() const { return entries_; }

 private:
  bool Apply(std::span<const uint8_t> partBitmap, int delta);

  std::vector<_tagStructPartFrequency> entries_;
  uint32_t sources_ = 0;
};

}  // namespace P2P::Shared::File::TransferFile
