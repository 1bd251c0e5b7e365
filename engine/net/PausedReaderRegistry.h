// The peer sessions that stopped reading because "Max Download" ran out, until the allowance
// returns. A session found here is handed out with a reference taken; one whose last reference
// is gone is skipped (its destructor is about to unlist it). Any thread: one lock.
#pragma once

#include <mutex>
#include <unordered_set>
#include <vector>

namespace P2P {

class CTARNNetC2CTCPConnecterT;

class CPausedReaderRegistry {
 public:
  using Session = CTARNNetC2CTCPConnecterT;

  void Add(Session* session);
  void Remove(Session* session);
  // Every listed session, referenced for the caller; none is listed afterwards.
  std::vector<Session*> TakeAll();

 private:
  std::mutex lock_;
  std::unordered_set<Session*> paused_;
};

}  // namespace P2P
