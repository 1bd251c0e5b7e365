#include "engine/net/PausedReaderRegistry.h"

#include <vector>

#include "engine/net/PeerLink.h"
#include "framework/CriticalSection.h"

namespace P2P {

void CPausedReaderRegistry::Add(ITARNNetPeerLink* link) {
  OSTREL::Process::CLock guard(lock_);
  paused_.insert(link);
}

void CPausedReaderRegistry::Remove(ITARNNetPeerLink* link) {
  OSTREL::Process::CLock guard(lock_);
  paused_.erase(link);
}

void CPausedReaderRegistry::ResumeAll() {
  std::vector<ITARNNetPeerLink*> links;
  {
    OSTREL::Process::CLock guard(lock_);
    links.reserve(paused_.size());
    for (ITARNNetPeerLink* link : paused_)
      if (link->Hold()) links.push_back(link);
    paused_.clear();
  }
  for (ITARNNetPeerLink* link : links) {
    link->PauseReceiving(false);
    link->Unhold();
  }
}

}  // namespace P2P
