// The events of the shared-file list, received by the API layer. Handlers run on the thread
// that changed the list (the folder monitor, or whoever added or moved a file).
#pragma once

#include "engine/library/SharedFileRecord.h"

namespace P2P {

class ITARNNetP2PSharedFileEventHandler {
 public:
  virtual ~ITARNNetP2PSharedFileEventHandler() = default;
  virtual void OnSharedFileAdded(const Shared::_tagStructSharedFile& file) = 0;
  virtual void OnSharedFileChanged(const Shared::_tagStructSharedFile& file) = 0;
  virtual void OnSharedFileRemoved(const Shared::_tagStructSharedFile& file) = 0;
};

}  // namespace P2P
