#include "engine/net/ClientCredit.h"

#include <algorithm>

namespace P2P::Credit {
namespace {

void Add(uint32_t& low, uint32_t& high, uint64_t bytes) {
  uint64_t total = ((uint64_t{high} << 32) | low);
  // Saturates rather than wraps: a counter that went back to zero would read as no credit.
  total = bytes > UINT64_MAX - total ? UINT64_MAX : total + bytes;
  low = static_cast<uint32_t>(total);
  high = static_cast<uint32_t>(total >> 32);
}

}  // namespace

bool _tagStructClientCredit::SetPublicKey(std::span<const uint8_t> key) {
  if (key.empty() || key.size() > publicKey.size()) return false;
  publicKey.fill(0);
  std::copy(key.begin(), key.end(), publicKey.begin());
  publicKeyLength = static_cast<uint8_t>(key.size());
  return true;
}

void _tagStructClientCredit::AddUploaded(uint64_t bytes) { Add(uploadLow, uploadHigh, bytes); }
void _tagStructClientCredit::AddDownloaded(uint64_t bytes) {
  Add(downloadLow, downloadHigh, bytes);
}

bool IsExpired(const _tagStructClientCredit& credit, uint32_t now) {
  return int64_t{credit.lastSeen} < int64_t{now} - int64_t{kCreditExpirySeconds};
}

}  // namespace P2P::Credit
