// Sorted lists of byte ranges [start, end) with which a download tracks what it still needs,
// what it asked for, and what it holds: the add and contains rules of each list, removal of a
// range, the total, and the Block elements that persist a list in the download's metadata.
// Not synchronised; the owning transfer file's lock guards them.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/XmlDocument.h"

namespace P2P::Shared::File::TransferFile {

struct _tagStructBlockPart {
  uint64_t start = 0;
  uint64_t end = 0;

  uint64_t Length() const { return end - start; }
  bool Covers(uint64_t first, uint64_t last) const { return start <= first && last <= end; }
  bool operator==(const _tagStructBlockPart&) const = default;
};

class CTARNNetBlockPartList {
 public:
  using const_iterator = std::vector<_tagStructBlockPart>::const_iterator;

  virtual ~CTARNNetBlockPartList() = default;

  // Inserts before the first element starting at or after the new end, else appends; no
  // merging. False when the list's own rule refuses the range.
  virtual bool Add(uint64_t start, uint64_t end);
  bool Add(const _tagStructBlockPart& part) { return Add(part.start, part.end); }
  // One element covers the whole of [start, end).
  bool Contains(uint64_t start, uint64_t end) const;
  // Takes [start, end) out of the list: an equal element goes, one touching an end shrinks,
  // one holding it strictly inside splits in two. Overlaps with several elements are all cut.
  void Remove(uint64_t start, uint64_t end);
  // Deletes the element equal to [start, end); false when there is none.
  bool Erase(uint64_t start, uint64_t end);
  // Sum of the lengths.
  uint64_t Total() const;
  // Some element overlaps [start, end).
  bool Overlaps(uint64_t start, uint64_t end) const;

  void Clear() { parts_.clear(); }
  size_t Size() const { return parts_.size(); }
  bool Empty() const { return parts_.empty(); }
  const _tagStructBlockPart& operator[](size_t index) const { return parts_[index]; }
  const_iterator begin() const { return parts_.begin(); }
  const_iterator end() const { return parts_.end(); }

  // One Block element (StartPos, EndPos) per range, in list order, under `parent`.
  void WriteBlocks(OSTREL::File::CXmlElement parent) const;
  // Adds every Block of `parent` whose StartPos < EndPos, from child elements or attributes.
  void ReadBlocks(const OSTREL::File::CXmlElement& parent);

 protected:
  void Insert(uint64_t start, uint64_t end);

 private:
  std::vector<_tagStructBlockPart> parts_;
};

// Blocks asked of peers; same rules as the base list.
class CTARNNetRequestBlockList : public CTARNNetBlockPartList {};

// Ranges still required: a range an element already covers is refused.
class CTARNNetRequireBlockPartList : public CTARNNetBlockPartList {
 public:
  bool Add(uint64_t start, uint64_t end) override;
};

}  // namespace P2P::Shared::File::TransferFile
