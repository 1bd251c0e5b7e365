#include "engine/base/MD4.h"

#include <algorithm>
#include <cstring>

namespace P2P::HASH {
namespace {

uint32_t LoadLittleEndian(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

void StoreLittleEndian(uint32_t value, uint8_t* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

constexpr uint32_t RotateLeft(uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

// The three rounds. The round function comes last in each sum, so the message word and the
// constant are added while it is still being computed; round two's majority is split into two
// additions of disjoint bits for the same reason.
inline void Round1(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, int bits) {
  a += word;
  a += d ^ (b & (c ^ d));
  a = RotateLeft(a, bits);
}
inline void Round2(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, int bits) {
  a += word + 0x5A827999u;
  a += b & c;
  a += d & (b ^ c);
  a = RotateLeft(a, bits);
}
inline void Round3(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, int bits) {
  a += word + 0x6ED9EBA1u;
  a += b ^ c ^ d;
  a = RotateLeft(a, bits);
}

}  // namespace

void CMD4::CompressBlocks(const uint8_t* blocks, size_t count) {
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (; count > 0; --count, blocks += kBlockSize) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian(blocks + 4 * i);
    const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
    // Written out: the compiler does not unroll the rounds by itself, and their word order
    // and shifts must be constants for the speed this class is for.
    Round1(a, b, c, d, x[0], 3), Round1(d, a, b, c, x[1], 7);
    Round1(c, d, a, b, x[2], 11), Round1(b, c, d, a, x[3], 19);
    Round1(a, b, c, d, x[4], 3), Round1(d, a, b, c, x[5], 7);
    Round1(c, d, a, b, x[6], 11), Round1(b, c, d, a, x[7], 19);
    Round1(a, b, c, d, x[8], 3), Round1(d, a, b, c, x[9], 7);
    Round1(c, d, a, b, x[10], 11), Round1(b, c, d, a, x[11], 19);
    Round1(a, b, c, d, x[12], 3), Round1(d, a, b, c, x[13], 7);
    Round1(c, d, a, b, x[14], 11), Round1(b, c, d, a, x[15], 19);
    Round2(a, b, c, d, x[0], 3), Round2(d, a, b, c, x[4], 5);
    Round2(c, d, a, b, x[8], 9), Round2(b, c, d, a, x[12], 13);
    Round2(a, b, c, d, x[1], 3), Round2(d, a, b, c, x[5], 5);
    Round2(c, d, a, b, x[9], 9), Round2(b, c, d, a, x[13], 13);
    Round2(a, b, c, d, x[2], 3), Round2(d, a, b, c, x[6], 5);
    Round2(c, d, a, b, x[10], 9), Round2(b, c, d, a, x[14], 13);
    Round2(a, b, c, d, x[3], 3), Round2(d, a, b, c, x[7], 5);
    Round2(c, d, a, b, x[11], 9), Round2(b, c, d, a, x[15], 13);
    Round3(a, b, c, d, x[0], 3), Round3(d, a, b, c, x[8], 9);
    Round3(c, d, a, b, x[4], 11), Round3(b, c, d, a, x[12], 15);
    Round3(a, b, c, d, x[2], 3), Round3(d, a, b, c, x[10], 9);
    Round3(c, d, a, b, x[6], 11), Round3(b, c, d, a, x[14], 15);
    Round3(a, b, c, d, x[1], 3), Round3(d, a, b, c, x[9], 9);
    Round3(c, d, a, b, x[5], 11), Round3(b, c, d, a, x[13], 15);
    Round3(a, b, c, d, x[3], 3), Round3(d, a, b, c, x[11], 9);
    Round3(c, d, a, b, x[7], 11), Round3(b, c, d, a, x[15], 15);
    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state_ = {a, b, c, d};
}

void CMD4::Update(std::span<const uint8_t> bytes) {
  size_t held = length_ % kBlockSize;
  length_ += bytes.size();
  if (held != 0) {
    const size_t taken = std::min(kBlockSize - held, bytes.size());
    std::memcpy(pending_.data() + held, bytes.data(), taken);
    bytes = bytes.subspan(taken);
    held += taken;
    if (held < kBlockSize) return;
    CompressBlocks(pending_.data(), 1);
  }
  const size_t whole = bytes.size() / kBlockSize;
  CompressBlocks(bytes.data(), whole);
  bytes = bytes.subspan(whole * kBlockSize);
  if (!bytes.empty()) std::memcpy(pending_.data(), bytes.data(), bytes.size());
}

_tagUnionHash CMD4::Final() {
  const uint64_t bits = length_ * 8;
  // A one bit, zeros up to 56 bytes into a block, then the length in bits.
  const size_t held = length_ % kBlockSize;
  const size_t padding = (held < 56 ? 56 : 120) - held;
  std::array<uint8_t, 72> tail{};
  tail[0] = 0x80;
  for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<uint8_t>(bits >> (8 * i));
  Update(std::span(tail).first(padding + 8));
  _tagUnionHash digest;
  for (size_t i = 0; i < 4; ++i) StoreLittleEndian(state_[i], digest.bytes.data() + 4 * i);
  state_ = kInitialState;
  length_ = 0;
  return digest;
}

}  // namespace P2P::HASH
