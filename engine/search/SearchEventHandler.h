// The events of a keyword search, received by the API layer: a search started, a result
// added, a result changed, and a notification without arguments (raised once the search has
// been sent everywhere it goes). Handlers run on the thread that caused the event: the caller
// of start, the search thread, or a server session thread.
#pragma once

#include "engine/library/SharedFileRecord.h"

namespace P2P {

class ITARNNetP2PSearchEventHandler {
 public:
  virtual ~ITARNNetP2PSearchEventHandler() = default;
  virtual void OnSearchStarted() = 0;
  virtual void OnSearchResultAdded(const Shared::_tagStructSharedFile& file) = 0;
  virtual void OnSearchResultChanged(const Shared::_tagStructSharedFile& file) = 0;
  virtual void OnSearchNotify() = 0;
};

}  // namespace P2P
