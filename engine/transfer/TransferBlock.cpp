#include "engine/transfer/TransferBlock.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "engine/protocol/Limits.h"

namespace P2P::Shared::File::TransferFile {

struct CTARNNetTransferBlock::Inflater {
  z_stream stream{};
  bool open = false;
  bool finished = false;
  ~Inflater() {
    if (open) inflateEnd(&stream);
  }
};

namespace {

// Buffers of one block's maximum length, reused: a fresh zero-filled buffer per block cost
// more than the copy into it (filling, then page faults on every new mapping).
class CBlockBufferPool {
 public:
  static constexpr size_t kKept = 16;

  std::unique_ptr<uint8_t[]> Take() {
    if (free_.empty()) return std::unique_ptr<uint8_t[]>(new uint8_t[Protocol::kMaxTransferBlockLength]);
    std::unique_ptr<uint8_t[]> buffer = std::move(free_.back());
    free_.pop_back();
    return buffer;
  }
  void Give(std::unique_ptr<uint8_t[]> buffer) {
    if (buffer && free_.size() < kKept) free_.push_back(std::move(buffer));
  }

 private:
  std::vector<std::unique_ptr<uint8_t[]>> free_;
};

CBlockBufferPool& BufferPool() {
  thread_local CBlockBufferPool pool;
  return pool;
}

}  // namespace

CTARNNetTransferBlock::CTARNNetTransferBlock(uint64_t start, uint64_t end)
    : start_(start), end_(end) {}
CTARNNetTransferBlock::~CTARNNetTransferBlock() { BufferPool().Give(std::move(data_)); }

uint32_t CTARNNetTransferBlock::kMaxLength() { return Protocol::kMaxTransferBlockLength; }

bool CTARNNetTransferBlock::EnsureBuffer() {
  if (!Valid()) return false;
  if (!data_) data_ = BufferPool().Take();
  return true;
}

bool CTARNNetTransferBlock::AppendPlain(uint64_t offset, std::span<const uint8_t> data) {
  if (!EnsureBuffer() || inflater_ != nullptr) return false;
  if (offset != start_ + held_ || data.size() > end_ - start_ - held_) return false;
  if (!data.empty()) std::memcpy(data_.get() + held_, data.data(), data.size());
  held_ += static_cast<uint32_t>(data.size());
  return true;
}

bool CTARNNetTransferBlock::AppendPacked(uint64_t blockStart, std::span<const uint8_t> packed) {
  if (blockStart != start_ || !EnsureBuffer()) return false;
  if (held_ != 0 && inflater_ == nullptr) return false;  // plain data already arrived
  if (packed.size() > Protocol::kMaxPackedBlockInput - packedReceived_) return false;
  if (inflater_ == nullptr) {
    inflater_ = std::make_unique<Inflater>();
    if (inflateInit(&inflater_->stream) != Z_OK) {
      inflater_.reset();
      return false;
    }
    inflater_->open = true;
  }
  if (broken_) return false;
  if (!Inflate(packed)) broken_ = true;
  return !broken_;
}

bool CTARNNetTransferBlock::Inflate(std::span<const uint8_t> packed) {
  if (inflater_->finished) return packed.empty();
  z_stream& stream = inflater_->stream;
  stream.next_in = const_cast<Bytef*>(packed.data());
  stream.avail_in = static_cast<uInt>(packed.size());
  stream.next_out = data_.get() + held_;
  stream.avail_out = static_cast<uInt>(end_ - start_ - held_);  // a valid block is short
  const int result = inflate(&stream, Z_SYNC_FLUSH);
  packedReceived_ += static_cast<uint32_t>(packed.size());
  held_ = static_cast<uint32_t>(stream.total_out);
  if (result == Z_OK && stream.avail_out == 0) {
    // The block is full: the stream may hold nothing more than its end.
    uint8_t probe = 0;
    stream.next_out = &probe;
    stream.avail_out = 1;
    const int tail = inflate(&stream, Z_SYNC_FLUSH);
    if (stream.avail_out == 0) return false;
    if (tail == Z_STREAM_END) inflater_->finished = true;
    return stream.avail_in == 0 && (tail == Z_STREAM_END || tail == Z_OK || tail == Z_BUF_ERROR);
  }
  if (result == Z_STREAM_END) {
    inflater_->finished = true;
    return stream.avail_in == 0;
  }
  // Input left over with no room to put it: the stream inflates past the block.
  if (result != Z_OK && !(result == Z_BUF_ERROR && stream.avail_in == 0)) return false;
  return stream.avail_in == 0;
}

CTARNNetTransferBlock* CTARNNetTransferBlockList::Add(uint64_t start, uint64_t end) {
  if (Contains(start, end)) return nullptr;
  auto block = std::make_unique<CTARNNetTransferBlock>(start, end);
  if (!block->Valid()) return nullptr;
  CTARNNetTransferBlock* added = block.get();
  const auto at = std::find_if(blocks_.begin(), blocks_.end(),
                               [end](const auto& held) { return held->Start() >= end; });
  blocks_.insert(at, std::move(block));
  return added;
}

bool CTARNNetTransferBlockList::Contains(uint64_t start, uint64_t end) const {
  for (const auto& block : blocks_) {
    if (block->Start() <= start && end <= block->End()) return true;
    if (block->Start() >= end) break;
  }
  return false;
}

CTARNNetTransferBlock* CTARNNetTransferBlockList::Find(uint64_t start, uint64_t end) const {
  for (const auto& block : blocks_)
    if (block->Start() == start && block->End() == end) return block.get();
  return nullptr;
}

CTARNNetTransferBlock* CTARNNetTransferBlockList::FindCovering(uint64_t start, uint64_t end) const {
  for (const auto& block : blocks_)
    if (block->Start() <= start && end <= block->End()) return block.get();
  return nullptr;
}

CTARNNetTransferBlock* CTARNNetTransferBlockList::FindStartingAt(uint64_t start) const {
  for (const auto& block : blocks_)
    if (block->Start() == start) return block.get();
  return nullptr;
}

std::vector<std::pair<uint64_t, uint64_t>> CTARNNetTransferBlockList::Ranges() const {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  ranges.reserve(blocks_.size());
  for (const auto& block : blocks_) ranges.emplace_back(block->Start(), block->End());
  return ranges;
}

void CTARNNetTransferBlockList::RemoveCovering(uint64_t offset) {
  std::erase_if(blocks_, [offset](const auto& block) {
    return block->Start() <= offset && offset < block->End();
  });
}

void CTARNNetTransferBlockList::Remove(const CTARNNetTransferBlock* block) {
  std::erase_if(blocks_, [block](const auto& held) { return held.get() == block; });
}

void CTARNNetUntrustBlockPartList::Add(const _tagUntrustBlockPart& part) {
  const auto at = std::find_if(parts_.begin(), parts_.end(),
                               [&part](const auto& held) { return held.start >= part.end; });
  parts_.insert(at, part);
}

bool CTARNNetUntrustBlockPartList::Contains(const _tagUntrustBlockPart& part) const {
  return std::find(parts_.begin(), parts_.end(), part) != parts_.end();
}

const _tagUntrustBlockPart* CTARNNetUntrustBlockPartList::Find(uint64_t start, uint64_t end) const {
  for (const auto& part : parts_)
    if (part.start == start && part.end == end) return &part;
  return nullptr;
}

bool CTARNNetUntrustBlockPartList::AnyWithin(uint64_t start, uint64_t end) const {
  return std::any_of(parts_.begin(), parts_.end(),
                     [&](const auto& part) { return start <= part.start && part.end <= end; });
}

void CTARNNetUntrustBlockPartList::RemoveWithin(uint64_t start, uint64_t end) {
  std::erase_if(parts_, [&](const auto& part) { return start <= part.start && part.end <= end; });
}

}  // namespace P2P::Shared::File::TransferFile
