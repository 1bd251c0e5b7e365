// How often each part of a download failed its MD4 check with the very same digest. Damage on
// the way gives another digest each time; the same one again and again means the sources agree
// on other bytes than the file hash names, as when a link gives the file's hash with another
// size: fetching the part again can never help. Callers hold the transfer file's lock.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/base/Hash.h"

namespace P2P::Shared::File::TransferFile {

class CTARNNetRepeatedPartFailures {
 public:
  // Notes a failed check of `part` whose data hashed to `digest`; answers how many checks of
  // the part in a row failed with that digest.
  uint32_t Note(uint32_t part, const _tagUnionHash& digest) {
    const auto run = std::find_if(runs_.begin(), runs_.end(),
                                  [part](const SRun& entry) { return entry.part == part; });
    if (run == runs_.end()) {
      runs_.push_back({part, digest, 1});
      return 1;
    }
    run->times = run->digest == digest ? run->times + 1 : 1;
    run->digest = digest;
    return run->times;
  }
  void Clear() { runs_.clear(); }

 private:
  struct SRun {
    uint32_t part = 0;
    _tagUnionHash digest;
    uint32_t times = 0;
  };
  std::vector<SRun> runs_;
};

}  // namespace P2P::Shared::File::TransferFile
