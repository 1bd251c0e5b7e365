// The peer connections that stopped reading because "Max Download" ran out, until the
// allowance returns. A connection is resumed with a hold taken; one on its way out is skipped
// (its session's end unlists it). One per session context; any thread: one lock, and no
// connection is called under it.
#pragma once

#include <mutex>
#include <unordered_set>

namespace P2P {

class ITARNNetPeerLink;

class CPausedReaderRegistry {
 public:
  void Add(ITARNNetPeerLink* link);
  void Remove(ITARNNetPeerLink* link);
  // Resumes reading on every listed connection; none is listed afterwards.
  void ResumeAll();

 private:
  std::mutex lock_;
  std::unordered_set<ITARNNetPeerLink*> paused_;
};

}  // namespace P2P
