#include "engine/net/PausedReaderRegistry.h"

#include "engine/net/TARNNetC2CTCPConnecter.h"

namespace P2P {

void CPausedReaderRegistry::Add(Session* session) {
  std::lock_guard guard(lock_);
  paused_.insert(session);
}

void CPausedReaderRegistry::Remove(Session* session) {
  std::lock_guard guard(lock_);
  paused_.erase(session);
}

std::vector<CPausedReaderRegistry::Session*> CPausedReaderRegistry::TakeAll() {
  std::vector<Session*> sessions;
  std::lock_guard guard(lock_);
  sessions.reserve(paused_.size());
  for (Session* session : paused_)
    if (session->TryAddRef()) sessions.push_back(session);
  paused_.clear();
  return sessions;
}

}  // namespace P2P
