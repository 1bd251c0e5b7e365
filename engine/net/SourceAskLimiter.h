// Which peers were answered when they asked for the sources of a file, so that a peer asking
// for the same file again within 40 minutes gets no answer. Bounded: beyond its cap the
// records older than 40 minutes go first, then the oldest. One per session context; any
// thread: one lock guards the records. Time comes from the engine's tick source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

#include "engine/base/Hash.h"
#include "framework/CriticalSection.h"

namespace P2P {

class CSourceAskLimiter {
 public:
  explicit CSourceAskLimiter(size_t cap);

  // True, and the answer noted, when `user` was not answered for `file` in the last 40
  // minutes. A user unknown (zero hash) is never answered.
  bool MayAnswer(const _tagUnionHash& user, const _tagUnionHash& file);
  size_t Size() const;

 private:
  struct SKey {
    _tagUnionHash user;
    _tagUnionHash file;
    bool operator==(const SKey&) const = default;
  };
  struct SKeyHash {
    size_t operator()(const SKey& key) const;
  };
  void MakeRoomLocked(uint32_t now) REQUIRES(lock_);

  const size_t cap_;
  mutable OSTREL::Process::CMutex lock_;
  // The tick of the last answer.
  std::unordered_map<SKey, uint32_t, SKeyHash> answered_ GUARDED_BY(lock_);
};

}  // namespace P2P
