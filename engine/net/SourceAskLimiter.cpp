#include "engine/net/SourceAskLimiter.h"

#include <algorithm>
#include <cstring>

#include "engine/protocol/PeerMessages.h"
#include "framework/TickSource.h"

namespace P2P {

CSourceAskLimiter::CSourceAskLimiter(size_t cap) : cap_(std::max<size_t>(cap, 1)) {}

size_t CSourceAskLimiter::SKeyHash::operator()(const SKey& key) const {
  uint64_t user = 0, file = 0;
  std::memcpy(&user, key.user.bytes.data(), sizeof user);
  std::memcpy(&file, key.file.bytes.data(), sizeof file);
  return std::hash<uint64_t>()(user ^ (file * 0x9E3779B97F4A7C15ull));
}

bool CSourceAskLimiter::MayAnswer(const _tagUnionHash& user, const _tagUnionHash& file) {
  if (user.IsZero()) return false;
  const uint32_t now = OSTREL::Process::CTickSource::Now();
  OSTREL::Process::CLock guard(lock_);
  const SKey key{user, file};
  if (auto it = answered_.find(key); it != answered_.end()) {
    if (now - it->second < Protocol::kSourceAskIntervalMs) return false;
    it->second = now;
    return true;
  }
  if (answered_.size() >= cap_) MakeRoomLocked(now);
  answered_.emplace(key, now);
  return true;
}

void CSourceAskLimiter::MakeRoomLocked(uint32_t now) {
  std::erase_if(answered_, [now](const auto& entry) {
    return now - entry.second >= Protocol::kSourceAskIntervalMs;
  });
  if (answered_.size() < cap_) return;
  // All recent: the oldest goes, so a flood of new users can only shorten the memory.
  auto oldest = std::max_element(
      answered_.begin(), answered_.end(),
      [now](const auto& a, const auto& b) { return now - a.second < now - b.second; });
  answered_.erase(oldest);
}

size_t CSourceAskLimiter::Size() const {
  OSTREL::Process::CLock guard(lock_);
  return answered_.size();
}

}  // namespace P2P
