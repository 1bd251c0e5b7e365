#include "engine/protocol/Stream.h"

#include <cstring>

namespace P2P::Protocol {

bool CStreamReader::Short(size_t wanted) {
  lastShort_ = SRefusal{{}, ERefusalReason::kTruncated, wanted, Remaining()};
  if (!firstShort_) firstShort_ = lastShort_;
  return false;
}

bool CStreamReader::Seek(size_t position) {
  if (position > buffer_.size()) return false;
  position_ = position;
  return true;
}

bool CStreamReader::Skip(size_t count) {
  if (count > Remaining()) return Short(count);
  position_ += count;
  return true;
}

bool CStreamReader::ReadUInt8(uint8_t& value) {
  if (Remaining() < 1) return Short(1);
  value = buffer_[position_++];
  return true;
}

bool CStreamReader::ReadUInt16(uint16_t& value) {
  if (Remaining() < 2) return Short(2);
  value = static_cast<uint16_t>(buffer_[position_] | buffer_[position_ + 1] << 8);
  position_ += 2;
  return true;
}

bool CStreamReader::ReadUInt32(uint32_t& value) {
  if (Remaining() < 4) return Short(4);
  value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | buffer_[position_ + i];
  position_ += 4;
  return true;
}

bool CStreamReader::ReadUInt64(uint64_t& value) {
  if (Remaining() < 8) return Short(8);
  value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | buffer_[position_ + i];
  position_ += 8;
  return true;
}

bool CStreamReader::ReadFloat(float& value) {
  uint32_t bits;
  if (!ReadUInt32(bits)) return false;
  std::memcpy(&value, &bits, sizeof value);
  return true;
}

bool CStreamReader::ReadHash(_tagUnionHash& hash) { return ReadBytes(hash.bytes); }

bool CStreamReader::ReadBytes(std::span<uint8_t> out) {
  if (out.size() > Remaining()) return Short(out.size());
  if (!out.empty()) std::memcpy(out.data(), buffer_.data() + position_, out.size());
  position_ += out.size();
  return true;
}

bool CStreamReader::ReadView(size_t count, std::span<const uint8_t>& view) {
  if (count > Remaining()) return Short(count);
  view = buffer_.subspan(position_, count);
  position_ += count;
  return true;
}

bool CStreamReader::ReadString(size_t count, std::string& text) {
  std::span<const uint8_t> view;
  if (!ReadView(count, view)) return false;
  text.assign(reinterpret_cast<const char*>(view.data()), view.size());
  return true;
}

bool CStreamWriter::WriteUInt8(uint8_t value) {
  if (!HasRoom(1)) return false;
  buffer_.push_back(value);
  return true;
}

bool CStreamWriter::WriteUInt16(uint16_t value) {
  if (!HasRoom(2)) return false;
  buffer_.push_back(static_cast<uint8_t>(value));
  buffer_.push_back(static_cast<uint8_t>(value >> 8));
  return true;
}

bool CStreamWriter::WriteUInt32(uint32_t value) {
  if (!HasRoom(4)) return false;
  for (int i = 0; i < 4; ++i) buffer_.push_back(static_cast<uint8_t>(value >> (8 * i)));
  return true;
}

bool CStreamWriter::WriteUInt64(uint64_t value) {
  if (!HasRoom(8)) return false;
  for (int i = 0; i < 8; ++i) buffer_.push_back(static_cast<uint8_t>(value >> (8 * i)));
  return true;
}

bool CStreamWriter::WriteFloat(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return WriteUInt32(bits);
}

bool CStreamWriter::WriteHash(const _tagUnionHash& hash) { return WriteBytes(hash.bytes); }

bool CStreamWriter::WriteBytes(std::span<const uint8_t> bytes) {
  if (!HasRoom(bytes.size())) return false;
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  return true;
}

bool CStreamWriter::WriteString(std::string_view text) {
  return WriteBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

bool CStreamWriter::PatchUInt32(size_t offset, uint32_t value) {
  if (offset > buffer_.size() || buffer_.size() - offset < 4) return false;
  for (int i = 0; i < 4; ++i) buffer_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  return true;
}

}  // namespace P2P::Protocol
