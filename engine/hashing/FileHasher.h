// Hashes a file for sharing: one pass through the file-system seam that feeds every chunk to
// the MD4 of its part and the SHA-1 of its AICH blocks, then builds and verifies the AICH tree.
// Files of more than a few chunks are hashed on two threads, two parts at a time. It pauses
// after each chunk and part to leave the disk to others, and stops promptly on an abort event
// or a stop request. One call at a time per object; calls on different objects serialise on
// the hashing lock when one is given.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "engine/base/Hash.h"
#include "engine/hashing/AICHTree.h"
#include "engine/hashing/FileHashSet.h"
#include "engine/hashing/HashList.h"
#include "framework/CriticalSection.h"
#include "framework/Event.h"
#include "platform/FileSystem.h"

namespace P2P::HASH {

struct _tagStructHashingOptions {
  // Pause after every chunk read and every part; 0 hashes at full speed.
  uint32_t pauseMilliseconds = 10;
  // Signalled: hashing stops and fails. An auto-reset event seen during a pause is set again,
  // so its owner still sees the request.
  OSTREL::Process::CEvent* abortEvent = nullptr;
  // True: hashing stops and fails (e.g. the hashing thread's stop flag).
  std::function<bool()> isStopping;
  // Held for the whole call: the engine hashes one file at a time.
  OSTREL::Process::CCriticalSection* hashingLock = nullptr;
  // After each chunk: bytes hashed so far and the file size.
  std::function<void(uint32_t hashed, uint32_t total)> onProgress;
  // On success, still under the hashing lock: where the caller stores the tree.
  std::function<void(const _tagUnionHash& fileHash, const CTARNNetAICHTree& tree)> onHashed;
};

class CTARNNetFileHasher {
 public:
  explicit CTARNNetFileHasher(_tagStructHashingOptions options = {});

  // Any output may be null. On failure no output is touched.
  bool HashFile(const std::filesystem::path& path, _tagUnionHash* fileHash, CTARNNetAICHTree* tree,
                MD4_HASH::CTARNNetHashList* hashList);
  // Fills `hashSet` for the file's size, its tree verified throughout (status verified).
  bool HashFile(const std::filesystem::path& path, CTARNNetFileHashSet& hashSet,
                _tagUnionHash& fileHash);

 private:
  bool HashLocked(const std::filesystem::path& path, _tagUnionHash& fileHash,
                  CTARNNetAICHTree& tree, MD4_HASH::CTARNNetHashList& hashList);
  bool HashParts(OSTREL::File::IFile& file, uint32_t size, CTARNNetAICHTree& tree,
                 MD4_HASH::CTARNNetHashList& hashList);
  bool ShouldStop() const;
  // Waits out the pause; false when a stop was requested meanwhile.
  bool Pause() const;

  _tagStructHashingOptions options_;
};

// MD4 of [start, start + length) of an open file, read in kReadChunk pieces; empty when the
// file ends early or cannot be read.
std::optional<_tagUnionHash> MD4OfFileRange(int fd, uint64_t start, uint32_t length);

}  // namespace P2P::HASH
