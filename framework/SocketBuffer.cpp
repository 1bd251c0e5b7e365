#include "framework/SocketBuffer.h"

#include <algorithm>
#include <cstring>

namespace OSTREL::Network::Socket {

std::span<uint8_t> CReceiveBuffer::PrepareReceive() {
  const size_t capacity = bytes_.size();
  const size_t free = capacity - fill_;
  // An empty buffer has no quarter to measure against: it starts with one growth step.
  const bool grow = capacity == 0 || (free < capacity / 4 && free < kGrowth);
  if (grow && capacity < limit_) bytes_.resize(std::min(capacity + kGrowth, limit_));
  return {bytes_.data() + fill_, bytes_.size() - fill_};
}

void CReceiveBuffer::Commit(size_t count) { fill_ = std::min(fill_ + count, bytes_.size()); }

void CReceiveBuffer::Consume(size_t count) {
  count = std::min(count, fill_);
  if (count == 0) return;
  std::memmove(bytes_.data(), bytes_.data() + count, fill_ - count);
  fill_ -= count;
}

void CSendBuffer::Consume(size_t count) {
  bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(std::min(count, bytes_.size())));
}

}  // namespace OSTREL::Network::Socket
