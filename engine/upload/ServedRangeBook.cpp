#include "engine/upload/ServedRangeBook.h"

#include <algorithm>

namespace P2P::Shared::File::TransferFile {

std::vector<CTARNNetServedRangeBook::Range> CTARNNetServedRangeBook::TakeNew(uint32_t start,
                                                                             uint32_t end) {
  std::vector<Range> fresh;
  uint32_t next = start;
  for (const Range& held : ranges_) {
    if (next >= end) break;
    if (held.second <= next) continue;
    if (held.first >= end) break;
    if (held.first > next) fresh.push_back({next, held.first});
    next = std::max(next, held.second);
  }
  if (next < end) fresh.push_back({next, end});
  for (const Range& piece : fresh) Book(piece.first, piece.second);
  return fresh;
}

void CTARNNetServedRangeBook::Book(uint32_t start, uint32_t end) {
  // Ranges that overlap or touch [start, end) merge with it.
  auto first = std::lower_bound(ranges_.begin(), ranges_.end(), start,
                                [](const Range& held, uint32_t at) { return held.second < at; });
  auto last = first;
  while (last != ranges_.end() && last->first <= end) {
    start = std::min(start, last->first);
    end = std::max(end, last->second);
    ++last;
  }
  first = ranges_.erase(first, last);
  ranges_.insert(first, {start, end});
  if (ranges_.size() > maxRanges_) ranges_.erase(ranges_.begin());
}

void CTARNNetServedRangeBook::Unbook(uint32_t start, uint32_t end) {
  std::vector<Range> kept;
  kept.reserve(ranges_.size() + 1);
  for (const Range& held : ranges_) {
    if (held.second <= start || held.first >= end) {
      kept.push_back(held);
      continue;
    }
    if (held.first < start) kept.push_back({held.first, start});
    if (held.second > end) kept.push_back({end, held.second});
  }
  ranges_.swap(kept);
}

bool CTARNNetServedRangeBook::Covers(uint32_t start, uint32_t end) const {
  return std::any_of(ranges_.begin(), ranges_.end(),
                     [&](const Range& held) { return held.first <= start && end <= held.second; });
}

}  // namespace P2P::Shared::File::TransferFile
