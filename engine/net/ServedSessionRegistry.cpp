#include "engine/net/ServedSessionRegistry.h"

#include <cstring>

#include "engine/net/PeerServing.h"
#include "framework/CriticalSection.h"

namespace P2P {

size_t CServedSessionRegistry::SHashKey::operator()(const _tagUnionHash& hash) const {
  // User hashes are MD4-like random bytes; any eight of them spread well.
  size_t key = 0;
  std::memcpy(&key, hash.bytes.data() + 4, sizeof key);
  return key;
}

void CServedSessionRegistry::Register(const _tagUnionHash& user, Session* session) {
  OSTREL::Process::CLock guard(lock_);
  if (const auto old = bySession_.find(session); old != bySession_.end()) {
    if (old->second == user) {
      byUser_[user] = session;
      return;
    }
    if (const auto it = byUser_.find(old->second); it != byUser_.end() && it->second == session)
      byUser_.erase(it);
    bySession_.erase(old);
  }
  bySession_.emplace(session, user);
  byUser_[user] = session;
}

bool CServedSessionRegistry::Unregister(Session* session) {
  OSTREL::Process::CLock guard(lock_);
  waiting_.erase(session);
  const auto old = bySession_.find(session);
  if (old == bySession_.end()) return false;
  bool current = false;
  if (const auto it = byUser_.find(old->second); it != byUser_.end() && it->second == session) {
    byUser_.erase(it);
    current = true;
  }
  bySession_.erase(old);
  return current;
}

CServedSessionRegistry::Session* CServedSessionRegistry::Find(const _tagUnionHash& user) {
  OSTREL::Process::CLock guard(lock_);
  const auto it = byUser_.find(user);
  if (it == byUser_.end() || !it->second->Link().Hold()) return nullptr;
  return it->second;
}

void CServedSessionRegistry::MarkWaiting(Session* session) {
  OSTREL::Process::CLock guard(lock_);
  // Only a listed session can be unlisted again before it goes.
  if (bySession_.contains(session)) waiting_.insert(session);
}

void CServedSessionRegistry::Deliver(const Client::_tagStructSchedulerEvents& events) {
  for (const _tagUnionHash& user : events.called)
    if (Session* session = Find(user)) {
      session->OnUploadCalled();
      session->Link().Unhold();
    }
  for (const _tagUnionHash& user : events.rotated)
    if (Session* session = Find(user)) {
      session->OnUploadRotated();
      session->Link().Unhold();
    }
  if (!callBack_ || events.callBacks.empty()) return;
  {
    OSTREL::Process::CLock guard(callLock_);
    calls_.insert(calls_.end(), events.callBacks.begin(), events.callBacks.end());
    if (calling_) return;  // the caller making them makes these too
    calling_ = true;
  }
  MakeCalls();
}

void CServedSessionRegistry::MakeCalls() {
  for (;;) {
    Client::_tagStructUploadRequester next;
    {
      OSTREL::Process::CLock guard(callLock_);
      if (calls_.empty()) {
        calling_ = false;
        return;
      }
      next = calls_.front();
      calls_.pop_front();
    }
    callBack_(next);
  }
}

void CServedSessionRegistry::ResumeWaiting() {
  std::vector<Session*> sessions;
  {
    OSTREL::Process::CLock guard(lock_);
    sessions.reserve(waiting_.size());
    for (Session* session : waiting_)
      if (session->Link().Hold()) sessions.push_back(session);
    waiting_.clear();
  }
  for (Session* session : sessions) {
    session->ResumeUpload();
    session->Link().Unhold();
  }
}

size_t CServedSessionRegistry::Size() const {
  OSTREL::Process::CLock guard(lock_);
  return bySession_.size();
}

size_t CServedSessionRegistry::WaitingCount() const {
  OSTREL::Process::CLock guard(lock_);
  return waiting_.size();
}

}  // namespace P2P
