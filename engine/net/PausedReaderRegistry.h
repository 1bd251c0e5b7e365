// The peer connections that stopped reading because "Max Download" ran out, until the
// allowance returns. A connection is resumed with a hold taken; one on its way out is skipped
// (its session's end unlists it). One per session context; any thread: one lock, and no
// connection is called under it.
#pragma once

#include <mutex>
#include <unordered_set>

#include "framework/CriticalSection.h"

namespace P2P {

class ITARNNetPeerLink;

class CPausedReaderRegistry {
 public:
  void Add(ITARNNetPeerLink* link) EXCLUDES(lock_);
  void Remove(ITARNNetPeerLink* link) EXCLUDES(lock_);
  // Resumes reading on every listed connection; none is listed afterwards.
  void ResumeAll() EXCLUDES(lock_);

 private:
  OSTREL::Process::CMutex lock_;
  std::unordered_set<ITARNNetPeerLink*> paused_ GUARDED_BY(lock_);
};

}  // namespace P2P
