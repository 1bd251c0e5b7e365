// Test helpers for hashing: deterministic file contents and reference digests computed
// straight from Crypto++ over bytes in memory, without any of the engine's hashing code.
#pragma once

#ifndef CRYPTOPP_ENABLE_NAMESPACE_WEAK
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#endif
#include <cryptopp/md4.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace tarn::test {

inline constexpr uint32_t kRefPartSize = 9728000;
inline constexpr uint32_t kRefBlockSize = 184320;

// xorshift64*: the same bytes for the same seed on every run.
inline std::vector<uint8_t> PseudoRandomBytes(size_t size, uint64_t seed) {
  std::vector<uint8_t> bytes(size);
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < size; ++i) {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    bytes[i] = static_cast<uint8_t>((state * 0x2545F4914F6CDD1Dull) >> 56);
  }
  return bytes;
}

// Lower-case hexadecimal of a digest, as the standards print their examples.
template <size_t N>
std::string HexOf(const std::array<uint8_t, N>& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

// The first `length` bytes cut into uneven pieces (1, 4, 13, 40... bytes, wrapping below
// 72), so an incremental digest is fed across every kind of block boundary: (offset, size).
inline std::vector<std::pair<size_t, size_t>> UnevenPieces(size_t length) {
  std::vector<std::pair<size_t, size_t>> pieces;
  for (size_t done = 0, piece = 1; done < length; piece = piece * 3 % 71 + 1) {
    const size_t taken = std::min(piece, length - done);
    pieces.emplace_back(done, taken);
    done += taken;
  }
  return pieces;
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline std::array<uint8_t, 16> RefMD4(const uint8_t* data, size_t size) {
  std::array<uint8_t, 16> digest{};
  CryptoPP::Weak::MD4().CalculateDigest(digest.data(), data, size);
  return digest;
}

inline std::array<uint8_t, 20> RefSHA1(const uint8_t* data, size_t size) {
  std::array<uint8_t, 20> digest{};
  CryptoPP::SHA1().CalculateDigest(digest.data(), data, size);
  return digest;
}

// The eD2K part hashes: one MD4 per 9728000 bytes, plus the MD4 of an empty last part when
// the size is a multiple of the part size (an empty file is one empty part).
inline std::vector<std::array<uint8_t, 16>> RefPartHashes(const std::vector<uint8_t>& data) {
  std::vector<std::array<uint8_t, 16>> hashes;
  size_t offset = 0;
  for (; offset + kRefPartSize <= data.size(); offset += kRefPartSize)
    hashes.push_back(RefMD4(data.data() + offset, kRefPartSize));
  hashes.push_back(RefMD4(data.data() + offset, data.size() - offset));
  return hashes;
}

inline std::array<uint8_t, 16> RefFileHash(const std::vector<uint8_t>& data) {
  const auto parts = RefPartHashes(data);
  if (parts.size() == 1) return parts.front();
  std::vector<uint8_t> joined;
  for (const auto& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return RefMD4(joined.data(), joined.size());
}

// AICH root, recursively: a range splits at whole blocks (parts above one part's size), the
// odd block going left for the root and left branches and right for right branches.
inline std::array<uint8_t, 20> RefAICH(const uint8_t* data, uint64_t size, bool leftOrRoot = true) {
  const uint64_t base = size <= kRefPartSize ? kRefBlockSize : kRefPartSize;
  if (size <= base) return RefSHA1(data, size);
  const uint64_t blocks = (size + base - 1) / base;
  const uint64_t leftSize = (leftOrRoot ? blocks + 1 : blocks) / 2 * base;
  const auto left = RefAICH(data, leftSize, true);
  const auto right = RefAICH(data + leftSize, size - leftSize, false);
  uint8_t joined[40];
  std::copy(left.begin(), left.end(), joined);
  std::copy(right.begin(), right.end(), joined + 20);
  return RefSHA1(joined, sizeof joined);
}

}  // namespace tarn::test
