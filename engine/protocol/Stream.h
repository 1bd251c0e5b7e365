// The byte streams every packet, tag and data-file parser uses. The reader works over a
// caller's buffer and never reads past its end: a failed read leaves the position where it
// was, and the reader remembers why it refused: the first field a reader named as refused,
// else the first read that ran out of bytes (engine/protocol/Refusal.h). The writer appends
// little-endian values to a growable buffer, optionally bounded (a write that would pass the bound
// fails and writes nothing). Not synchronised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/protocol/Refusal.h"

namespace P2P::Protocol {

class CStreamReader {
 public:
  explicit CStreamReader(std::span<const uint8_t> buffer) : buffer_(buffer) {}

  size_t Position() const { return position_; }
  size_t Remaining() const { return buffer_.size() - position_; }
  size_t Size() const { return buffer_.size(); }
  bool AtEnd() const { return Remaining() == 0; }
  std::span<const uint8_t> Rest() const { return buffer_.subspan(position_); }

  // Moves the position; false (and no move) outside the buffer.
  bool Seek(size_t position);
  bool Skip(size_t count);

  bool ReadUInt8(uint8_t& value);
  bool ReadUInt16(uint16_t& value);
  bool ReadUInt32(uint32_t& value);
  bool ReadUInt64(uint64_t& value);
  bool ReadFloat(float& value);
  bool ReadHash(_tagUnionHash& hash);
  bool ReadBytes(std::span<uint8_t> out);
  // A view of the next `count` bytes, consumed; fails when fewer remain.
  bool ReadView(size_t count, std::span<const uint8_t>& view);
  bool ReadString(size_t count, std::string& text);

  // Records that `field` was refused (the first such record is kept) and returns false, so a
  // reader can `return stream.Refuse(...)`.
  bool Refuse(std::string_view field, ERefusalReason reason, uint64_t value = 0,
              uint64_t limit = 0) {
    return Protocol::Refuse(&named_, field, reason, value, limit);
  }
  // Names `field` as the one the last short read was part of; returns false.
  bool RefuseTruncated(std::string_view field) {
    return Refuse(field, ERefusalReason::kTruncated, lastShort_.value, lastShort_.limit);
  }
  // Why reading failed: the named refusal, else the first short read; none when neither.
  SRefusal Refusal() const { return named_ ? named_ : firstShort_; }

 private:
  bool Short(size_t wanted);

  std::span<const uint8_t> buffer_;
  size_t position_ = 0;
  SRefusal named_;
  SRefusal firstShort_;
  SRefusal lastShort_;
};

// Hands the stream's refusal to `out` (when given and still empty); returns false, so a
// reader can `return PassRefusal(stream, out)`.
inline bool PassRefusal(const CStreamReader& stream, SRefusal* out) {
  if (out != nullptr && !*out) *out = stream.Refusal();
  return false;
}

class CStreamWriter {
 public:
  static constexpr size_t kUnbounded = static_cast<size_t>(-1);

  explicit CStreamWriter(std::vector<uint8_t>& buffer, size_t limit = kUnbounded)
      : buffer_(buffer), limit_(limit) {}

  size_t Size() const { return buffer_.size(); }

  bool WriteUInt8(uint8_t value);
  bool WriteUInt16(uint16_t value);
  bool WriteUInt32(uint32_t value);
  bool WriteUInt64(uint64_t value);
  bool WriteFloat(float value);
  bool WriteHash(const _tagUnionHash& hash);
  bool WriteBytes(std::span<const uint8_t> bytes);
  bool WriteString(std::string_view text);
  // Drops what was written after `size` (undoing a partly written record).
  void Truncate(size_t size) {
    if (size < buffer_.size()) buffer_.resize(size);
  }
  // Overwrites 4 bytes at `offset` (a length placeholder written earlier).
  bool PatchUInt32(size_t offset, uint32_t value);

 private:
  bool HasRoom(size_t count) const { return count <= limit_ - buffer_.size() && buffer_.size() <= limit_; }

  std::vector<uint8_t>& buffer_;
  size_t limit_;
};

}  // namespace P2P::Protocol
