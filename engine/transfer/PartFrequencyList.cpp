#include "engine/transfer/PartFrequencyList.h"

#include <algorithm>

namespace P2P::Shared::File::TransferFile {

void CTARNNetPartFrequencyList::Reset(uint32_t partCount) {
  entries_.clear();
  sources_ = 0;
  // Part indexes travel as 16 bits; no 32-bit file has more than 442 parts.
  partCount = std::min<uint32_t>(partCount, 0x10000);
  for (uint32_t part = 0; part < partCount; ++part)
    entries_.push_back({static_cast<uint16_t>(part), 0});
}

bool CTARNNetPartFrequencyList::AddSource(std::span<const uint8_t> partBitmap) {
  if (!Apply(partBitmap, +1)) return false;
  ++sources_;
  return true;
}

bool CTARNNetPartFrequencyList::RemoveSource(std::span<const uint8_t> partBitmap) {
  if (!Apply(partBitmap, -1)) return false;
  if (sources_ > 0) --sources_;
  return true;
}

bool CTARNNetPartFrequencyList::Apply(std::span<const uint8_t> partBitmap, int delta) {
  if (partBitmap.size() != entries_.size()) return false;
  for (_tagStructPartFrequency& entry : entries_) {
    if (partBitmap[entry.part] == 0 || entry.count == kPinned) continue;
    if (delta > 0 && entry.count < kPinned - 1) ++entry.count;
    if (delta < 0 && entry.count > 0) --entry.count;
  }
  Sort();
  return true;
}

void CTARNNetPartFrequencyList::SetCount(uint16_t part, uint32_t count) {
  for (_tagStructPartFrequency& entry : entries_)
    if (entry.part == part) entry.count = count;
  Sort();
}

void CTARNNetPartFrequencyList::Sort() {
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const auto& a, const auto& b) { return a.count < b.count; });
}

}  // namespace P2P::Shared::File::TransferFile
