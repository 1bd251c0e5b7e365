// Running MD4 digests of parts being downloaded: a block written where a part's hashed prefix
// ends extends that part's digest, so a part received in order is checked without reading it
// back. Each digest covers exactly the bytes [part start, hashed end) as they are on disk; a
// write inside that prefix drops it (the part is then read back whole when it completes).
// Not synchronised; the owning download's lock guards it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/hashing/Digest.h"

namespace P2P::HASH {

class CTARNNetRunningPartDigests {
 public:
  // Parts being hashed at once; beyond this, new parts are read back when they complete.
  static constexpr size_t kMaxParts = 32;

  // Takes note of `data` written at `start` in the part [partStart, partEnd).
  void Written(uint64_t partStart, uint64_t partEnd, uint64_t start, std::span<const uint8_t> data);
  // The running digest of the part starting at `partStart`, covering [partStart, hashedEnd);
  // null when the part has none. Valid until the next change to this list.
  CMD4Digest* Find(uint64_t partStart, uint64_t& hashedEnd);
  void Forget(uint64_t partStart);
  void Clear() { parts_.clear(); }
  size_t Size() const { return parts_.size(); }

 private:
  struct SPart {
    uint64_t start = 0;
    uint64_t hashedEnd = 0;
    CMD4Digest md4;
  };
  SPart* FindPart(uint64_t partStart);

  std::vector<std::unique_ptr<SPart>> parts_;
};

}  // namespace P2P::HASH
