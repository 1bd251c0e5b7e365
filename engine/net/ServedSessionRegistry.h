// The peer sessions that serve remote clients, found by the user hash of the client each one
// serves, and the ones whose sending waits (for the upload rate or a slot's new term) to be
// resumed; it also hands the upload scheduler's calls and rotations to the sessions they name.
// Every lookup is a hash-map find, so thousands of queued clients cost a call, a rotation or a
// close O(1) each, and a pass resumes only the sessions that wait. A session is reached with
// its connection held (a session on its way out is skipped; its end unlists it). One per
// session context; any thread: one lock guards the maps, and no session is called under it.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/peers/UploadScheduler.h"
#include "framework/CriticalSection.h"

namespace P2P {

class CTARNNetPeerServing;

class CServedSessionRegistry {
 public:
  using Session = CTARNNetPeerServing;

  // Lists `session` as the one serving `user` (the latest session of a user is the one its
  // calls go to). A session listed under another user before is moved.
  void Register(const _tagUnionHash& user, Session* session) EXCLUDES(lock_);
  // Unlists `session`; true when it was the current session of its user, so the scheduler is
  // to hear that this user has no session now.
  bool Unregister(Session* session) EXCLUDES(lock_);
  // A session with ranges owed that stopped sending; it is resumed by the next ResumeWaiting.
  void MarkWaiting(Session* session) EXCLUDES(lock_);
  // Tells the sessions of called clients to start and those of rotated ones to queue again,
  // and has the clients called back that have no session.
  void Deliver(const Client::_tagStructSchedulerEvents& events) EXCLUDES(lock_);
  // Connects to a client given a slot while it has no session; set before sessions start.
  using CallBack = std::function<void(const Client::_tagStructUploadRequester& client)>;
  void SetCallBack(CallBack callBack) { callBack_ = std::move(callBack); }
  // Resumes the sessions whose sending waited; none waits afterwards.
  void ResumeWaiting() EXCLUDES(lock_);
  size_t Size() const EXCLUDES(lock_);
  size_t WaitingCount() const EXCLUDES(lock_);

 private:
  struct SHashKey {
    size_t operator()(const _tagUnionHash& hash) const;
  };
  // The session serving `user`, held for the caller, who unholds it; null when none.
  Session* Find(const _tagUnionHash& user) EXCLUDES(lock_);
  // Makes the queued call-backs until none is left.
  void MakeCalls() EXCLUDES(callLock_);

  mutable OSTREL::Process::CMutex lock_;
  std::unordered_map<_tagUnionHash, Session*, SHashKey> byUser_ GUARDED_BY(lock_);
  std::unordered_map<Session*, _tagUnionHash> bySession_ GUARDED_BY(lock_);
  std::unordered_set<Session*> waiting_ GUARDED_BY(lock_);
  // Set before sessions start, read only after.
  CallBack callBack_;
  // Call-backs are made by one caller at a time: one that fails at once ends a session, which
  // frees the slot for the next waiter, whose call is queued here instead of made deeper down
  // the same stack (thousands of unreachable waiters would otherwise overflow it).
  OSTREL::Process::CMutex callLock_;
  std::deque<Client::_tagStructUploadRequester> calls_ GUARDED_BY(callLock_);
  bool calling_ GUARDED_BY(callLock_) = false;
};

}  // namespace P2P
