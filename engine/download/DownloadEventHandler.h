// The events of the downloads, received by the API layer (and by the download manager, which
// is the sink of every download and fans the events out). Handlers run on the thread that
// caused the event (peer sessions, the statistics sweep, API calls) and must not block.
#pragma once

#include <cstdint>

#include "engine/library/SharedFileRecord.h"

namespace P2P {

class ITARNNetP2PDownloadEventHandler {
 public:
  virtual ~ITARNNetP2PDownloadEventHandler() = default;
  virtual void OnDownloadAdded(const Shared::_tagStructSharedFile& file) = 0;
  // The download's path or name was set, or it was paused, stopped or resumed.
  virtual void OnDownloadChanged(const Shared::_tagStructSharedFile& file) = 0;
  virtual void OnDownloadProgress(const Shared::_tagStructSharedFile& file, uint32_t completedBytes,
                                  uint32_t receivedBytes) = 0;
  // The download finished and its file is at its place (or could not be moved and stays
  // listed); raised while it is still listed, before its one removal.
  virtual void OnDownloadCompleted(const Shared::_tagStructSharedFile& file) = 0;
  virtual void OnDownloadRemoved(const Shared::_tagStructSharedFile& file) = 0;
  // Passed on unchanged; the engine raises it with the file id when a download was stopped
  // because its data could not be stored.
  virtual void OnDownloadNotice(uint32_t value) = 0;
};

}  // namespace P2P
