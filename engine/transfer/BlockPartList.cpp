#include "engine/transfer/BlockPartList.h"

#include <algorithm>

namespace P2P::Shared::File::TransferFile {

bool CTARNNetBlockPartList::Add(uint64_t start, uint64_t end) {
  if (start >= end) return false;
  Insert(start, end);
  return true;
}

void CTARNNetBlockPartList::Insert(uint64_t start, uint64_t end) {
  const auto at =
      std::find_if(parts_.begin(), parts_.end(),
                   [end](const _tagStructBlockPart& part) { return part.start >= end; });
  parts_.insert(at, {start, end});
}

bool CTARNNetBlockPartList::Contains(uint64_t start, uint64_t end) const {
  for (const _tagStructBlockPart& part : parts_) {
    if (part.Covers(start, end)) return true;
    if (part.start >= end) break;
  }
  return false;
}

bool CTARNNetBlockPartList::Overlaps(uint64_t start, uint64_t end) const {
  return std::any_of(parts_.begin(), parts_.end(), [&](const _tagStructBlockPart& part) {
    return part.start < end && start < part.end;
  });
}

void CTARNNetBlockPartList::Remove(uint64_t start, uint64_t end) {
  if (start >= end) return;
  std::vector<_tagStructBlockPart> kept;
  kept.reserve(parts_.size() + 1);
  for (const _tagStructBlockPart& part : parts_) {
    if (part.end <= start || end <= part.start) {
      kept.push_back(part);
      continue;
    }
    if (part.start < start) kept.push_back({part.start, start});
    if (end < part.end) kept.push_back({end, part.end});
  }
  parts_ = std::move(kept);
}

bool CTARNNetBlockPartList::Erase(uint64_t start, uint64_t end) {
  const auto at = std::find(parts_.begin(), parts_.end(), _tagStructBlockPart{start, end});
  if (at == parts_.end()) return false;
  parts_.erase(at);
  return true;
}

uint64_t CTARNNetBlockPartList::Total() const {
  uint64_t total = 0;
  for (const _tagStructBlockPart& part : parts_) total += part.Length();
  return total;
}

void CTARNNetBlockPartList::WriteBlocks(OSTREL::File::CXmlElement parent) const {
  for (const _tagStructBlockPart& part : parts_) {
    OSTREL::File::CXmlElement block = parent.AppendElement("Block");
    block.AppendNumber("StartPos", part.start);
    block.AppendNumber("EndPos", part.end);
  }
}

void CTARNNetBlockPartList::ReadBlocks(const OSTREL::File::CXmlElement& parent) {
  for (const OSTREL::File::CXmlElement& block : parent.Children("Block")) {
    const auto start = block.Value("StartPos");
    const auto end = block.Value("EndPos");
    if (!start || !end) continue;
    const auto first = OSTREL::File::ParseUInt64(*start);
    const auto last = OSTREL::File::ParseUInt64(*end);
    if (first && last && *first < *last) Add(*first, *last);
  }
}

bool CTARNNetRequireBlockPartList::Add(uint64_t start, uint64_t end) {
  if (start >= end || Contains(start, end)) return false;
  Insert(start, end);
  return true;
}

}  // namespace P2P::Shared::File::TransferFile
