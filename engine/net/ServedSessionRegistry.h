// The peer sessions that serve remote clients, found by the user hash of the client each one
// serves, and the ones whose sending waits (for the upload rate or a slot's new term) to be
// resumed. Every lookup is a hash-map find, so thousands of queued clients cost a call, a
// rotation or a close O(1) each, and a pass resumes only the sessions that wait. A session
// found here is handed out with a reference taken; one whose last reference is gone is skipped
// (its destructor is about to unlist it). Any thread: one lock guards the maps.
#pragma once

#include <cstddef>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/base/Hash.h"

namespace P2P {

class CTARNNetC2CTCPConnecterT;

class CServedSessionRegistry {
 public:
  using Session = CTARNNetC2CTCPConnecterT;

  // Lists `session` as the one serving `user` (the latest session of a user is the one its
  // calls go to). A session listed under another user before is moved.
  void Register(const _tagUnionHash& user, Session* session);
  // Unlists `session`; true when it was the current session of its user, so the scheduler is
  // to hear that this user has no session now.
  bool Unregister(Session* session);
  // The session serving `user`, referenced for the caller, who releases it; null when none.
  Session* Find(const _tagUnionHash& user);
  // A session with ranges owed that stopped sending; it is resumed by the next TakeWaiting.
  void MarkWaiting(Session* session);
  // Every waiting session, referenced for the caller; none waits afterwards.
  std::vector<Session*> TakeWaiting();
  size_t Size() const;
  size_t WaitingCount() const;

 private:
  struct SHashKey {
    size_t operator()(const _tagUnionHash& hash) const;
  };

  mutable std::mutex lock_;
  std::unordered_map<_tagUnionHash, Session*, SHashKey> byUser_;
  std::unordered_map<Session*, _tagUnionHash> bySession_;
  std::unordered_set<Session*> waiting_;
};

}  // namespace P2P
