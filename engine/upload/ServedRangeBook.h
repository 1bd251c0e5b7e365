// The ranges of one file that a serving session has queued or sent to its client during the
// current upload slot. Downloaders ask with a sliding window that names three ranges and
// repeats the ones still owed, so a range asked again while it is on its way must not be
// queued again; the book hands out only the new part of each asked range. It is cleared when
// the slot ends or the client turns to another file. A downloader keeps one too, of what it
// asked in the slot: a sender that holds such a book sends nothing asked a second time. Not
// synchronised: its owner's lock or thread guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace P2P::Shared::File::TransferFile {

class CTARNNetServedRangeBook {
 public:
  using Range = std::pair<uint32_t, uint32_t>;  // [start, end)

  // At most `maxRanges` disjoint ranges are held; beyond that the lowest ones are forgotten
  // (at worst a block goes out twice).
  explicit CTARNNetServedRangeBook(size_t maxRanges) : maxRanges_(maxRanges) {}

  // The pieces of [start, end) not booked yet, in order; they are booked now.
  std::vector<Range> TakeNew(uint32_t start, uint32_t end);
  // Forgets [start, end): queued but dropped before it went out.
  void Unbook(uint32_t start, uint32_t end);
  void Clear() { ranges_.clear(); }
  bool Covers(uint32_t start, uint32_t end) const;
  size_t Size() const { return ranges_.size(); }
  const std::vector<Range>& Ranges() const { return ranges_; }

 private:
  void Book(uint32_t start, uint32_t end);

  size_t maxRanges_;
  std::vector<Range> ranges_;  // sorted, disjoint, not touching
};

}  // namespace P2P::Shared::File::TransferFile
