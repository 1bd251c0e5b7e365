// How far the hashing of a scan has come: files and bytes done out of those found to need
// hashing, and the recent throughput. The upload file manager keeps one record, updated on the
// monitor's thread and read from any thread (the API shows it, the log reports it every few
// seconds). Plain values; the owner guards them.
#pragma once

#include <cstdint>

namespace P2P::HASH {

struct _tagStructHashingProgress {
  bool hashing = false;     // a scan is hashing right now
  uint32_t filesDone = 0;   // of this scan's batch, hashed or given up
  uint32_t filesTotal = 0;  // files this scan found new or changed
  uint64_t bytesDone = 0;
  uint64_t bytesTotal = 0;
  uint64_t bytesPerSecond = 0;  // over the last report period
  uint32_t filesHashed = 0;     // since Start, all scans together
};

}  // namespace P2P::HASH
