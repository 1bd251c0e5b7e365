// The byte buffers of a stream socket. The receive buffer collects bytes until a parser has
// whole packets and then drops what the parser consumed; the send buffer keeps what the
// network has not yet taken. Not synchronised: the owning socket guards them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "framework/Limits.h"

namespace OSTREL::Network::Socket {

class CReceiveBuffer {
 public:
  static constexpr size_t kGrowth = 4096;

  explicit CReceiveBuffer(size_t limit = OSTREL::Limits::kMaxReceiveBufferSize) : limit_(limit) {}

  // Grows the capacity by kGrowth when the free tail is under a quarter of the capacity and
  // at most kGrowth - 1 bytes, then returns the free tail; empty at the limit.
  std::span<uint8_t> PrepareReceive();
  // Marks `count` bytes of the tail as filled by a receive.
  void Commit(size_t count);
  // The bytes received and not yet consumed.
  std::span<const uint8_t> Data() const { return {bytes_.data(), fill_}; }
  // Removes `count` bytes from the front; the rest moves to the start.
  void Consume(size_t count);
  void Clear() { fill_ = 0; }

  size_t Size() const { return fill_; }
  size_t Capacity() const { return bytes_.size(); }
  size_t Limit() const { return limit_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t fill_ = 0;
  size_t limit_;
};

class CSendBuffer {
 public:
  void Append(std::span<const uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
  std::span<const uint8_t> Data() const { return bytes_; }
  void Consume(size_t count);
  void Clear() { bytes_.clear(); }
  bool IsEmpty() const { return bytes_.empty(); }
  size_t Size() const { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace OSTREL::Network::Socket
