#include "engine/hashing/FileHasher.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/hashing/AICHBlockHasher.h"
#include "engine/hashing/Digest.h"
#include "engine/hashing/HashConstants.h"
#include "engine/hashing/HashLane.h"
#include "engine/protocol/Limits.h"
#include "framework/TickSource.h"

namespace P2P::HASH {
namespace {

using OSTREL::File::EOpenMode;
using OSTREL::File::FileSystem;

// Files above this size hash their AICH blocks on a second thread.
constexpr uint32_t kTwoLaneMinimum = 2 * kHashingReadSize;

bool PreadFully(int fd, uint8_t* buffer, size_t length, uint64_t offset) {
  while (length > 0) {
    const ssize_t got = ::pread(fd, buffer, length, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer += got;
    offset += static_cast<uint64_t>(got);
    length -= static_cast<size_t>(got);
  }
  return true;
}

// The hash describes the file at `path` only if that is still the file that was read, with
// the size it had when hashing began.
bool StillSameFile(OSTREL::File::IFile& file, const std::filesystem::path& path, uint64_t size) {
  const auto opened = file.Stat();
  const auto named = FileSystem().Stat(path);
  return opened && named && opened->device == named->device && opened->inode == named->inode &&
         opened->size == size;
}

}  // namespace

CTARNNetFileHasher::CTARNNetFileHasher(_tagStructHashingOptions options)
    : options_(std::move(options)) {}

bool CTARNNetFileHasher::ShouldStop() const {
  if (options_.abortEvent != nullptr && options_.abortEvent->IsSignalled()) return true;
  return options_.isStopping && options_.isStopping();
}

bool CTARNNetFileHasher::Pause() const {
  const uint32_t pause = options_.pauseMilliseconds;
  if (pause == 0) return !ShouldStop();
  if (options_.abortEvent != nullptr) {
    auto& event = *options_.abortEvent;
    if (OSTREL::Process::WaitForEvent(event, pause)) {
      if (!event.IsManualReset()) event.Set();
      return false;
    }
  } else {
    OSTREL::Process::SleepTicks(pause);
  }
  return !ShouldStop();
}

bool CTARNNetFileHasher::HashFile(const std::filesystem::path& path, _tagUnionHash* fileHash,
                                  CTARNNetAICHTree* tree, MD4_HASH::CTARNNetHashList* hashList) {
  std::unique_lock<OSTREL::Process::CCriticalSection> lock;
  if (options_.hashingLock != nullptr)
    lock = std::unique_lock<OSTREL::Process::CCriticalSection>(*options_.hashingLock);
  _tagUnionHash hash;
  CTARNNetAICHTree localTree;
  MD4_HASH::CTARNNetHashList localList;
  if (!HashLocked(path, hash, localTree, localList)) return false;
  if (options_.onHashed) options_.onHashed(hash, localTree);
  if (fileHash != nullptr) *fileHash = hash;
  if (tree != nullptr) *tree = std::move(localTree);
  if (hashList != nullptr) *hashList = std::move(localList);
  return true;
}

bool CTARNNetFileHasher::HashFile(const std::filesystem::path& path, CTARNNetFileHashSet& hashSet,
                                  _tagUnionHash& fileHash) {
  _tagUnionHash hash;
  CTARNNetAICHTree tree;
  MD4_HASH::CTARNNetHashList list;
  if (!HashFile(path, &hash, &tree, &list)) return false;
  hashSet.Reset(list.GetFileSize());
  hashSet.HashList() = std::move(list);
  hashSet.Tree() = std::move(tree);
  // Computed here from the file itself, so the root is trusted and every part checks out.
  hashSet.SetRootHash(hashSet.Tree().Root().hash, CTARNNetFileHashSet::kStatusTrusted);
  if (hashSet.FirstUnverifiedPart()) return false;
  fileHash = hash;
  return true;
}

bool CTARNNetFileHasher::HashLocked(const std::filesystem::path& path, _tagUnionHash& fileHash,
                                    CTARNNetAICHTree& tree, MD4_HASH::CTARNNetHashList& hashList) {
  const std::unique_ptr<OSTREL::File::IFile> file = FileSystem().Open(path, EOpenMode::kRead);
  if (!file) return false;
  const auto info = file->Stat();
  if (!info || !info->isRegular || info->size > Protocol::kMaxFileSize) return false;
  const uint64_t size = info->size;
  file->AdviseSequential();

  tree.Reset(size);
  hashList.Clear();
  hashList.SetFileSize(size);
  if (!HashParts(*file, size, tree, hashList)) return false;
  // A file that ends on a part boundary (or is empty) has an empty last part, whose hash the
  // network counts too.
  if (size % kPartSize == 0) hashList.Add(CMD4Digest().Final());
  if (size == 0) tree.Root().SetHash(SHA1Of(std::span<const uint8_t>()));
  if (!StillSameFile(*file, path, size)) return false;
  if (!tree.ComputeAndVerify()) return false;
  fileHash = hashList.DeriveFileHash();
  return true;
}

namespace {

// One part on its way through the digests: its MD4 and the SHA-1 of its AICH blocks.
struct SPartInHand {
  uint32_t length = 0;
  CMD4Digest md4;
  CAICHBlockHasher blocks;
  bool failed = false;

  // False when the tree has no node for the part.
  bool Begin(uint64_t size, uint32_t part, CTARNNetAICHTree& tree) {
    length = PartLength(size, part);
    failed = false;
    return blocks.StartPart(tree.Root().FindNode(PartStart(part), length, true));
  }
  // The part's MD4, or nothing when one of its blocks could not be stored.
  std::optional<_tagUnionHash> Finish() {
    if (failed || !blocks.FinishPart()) return std::nullopt;
    return md4.Final();
  }

  void Hash(std::span<const uint8_t> bytes, bool md4Too, bool blocksToo) {
    if (md4Too) md4.Update(bytes);
    if (blocksToo && !blocks.Feed(bytes)) failed = true;
  }
};

}  // namespace

// One read pass, each chunk read once, parts taken two at a time: this thread hashes one part
// (MD4 and the SHA-1 of its blocks) while the lane hashes the next, so both cores carry the
// same work. A part left without a partner is split the other way: its MD4 here, its SHA-1 on
// the lane. Two sets of buffers alternate, so the next reads never overwrite a chunk the lane
// is still hashing.
bool CTARNNetFileHasher::HashParts(OSTREL::File::IFile& file, uint64_t size, CTARNNetAICHTree& tree,
                                   MD4_HASH::CTARNNetHashList& hashList) {
  const auto bufferSize =
      static_cast<uint32_t>(std::min<uint64_t>(std::max<uint64_t>(size, 1), kHashingReadSize));
  const bool threaded = size >= kTwoLaneMinimum;
  std::vector<uint8_t> buffers[2][2];
  SPartInHand here, there;
  CHashLane lane(threaded);  // declared last: joined before the rest goes
  uint64_t hashed = 0;
  unsigned turn = 0;
  const uint32_t parts = PartCount(size);
  for (uint32_t part = 0; part < parts; part += 2) {
    const bool paired = threaded && part + 1 < parts;
    if (!here.Begin(size, part, tree) || (paired && !there.Begin(size, part + 1, tree)))
      return false;
    const bool split = threaded && !paired;
    for (uint32_t done = 0; done < here.length;) {
      if (ShouldStop()) return false;
      auto& set = buffers[turn++ & 1];
      // The lane's job that used this set two chunks ago must be done with it.
      lane.WaitUntilPending(1);
      const uint32_t chunk = std::min<uint32_t>(kHashingReadSize, here.length - done);
      const uint32_t partnerChunk =
          paired && done < there.length ? std::min(kHashingReadSize, there.length - done) : 0;
      set[0].resize(bufferSize);
      const auto got = file.ReadAt(PartStart(part) + done, std::span(set[0]).first(chunk));
      if (!got || *got != chunk) return false;  // a file that shrank must not spin
      const std::span<const uint8_t> mine(set[0].data(), chunk);
      if (partnerChunk > 0) {
        set[1].resize(bufferSize);
        const auto more =
            file.ReadAt(PartStart(part + 1) + done, std::span(set[1]).first(partnerChunk));
        if (!more || *more != partnerChunk) return false;
        const std::span<const uint8_t> theirs(set[1].data(), partnerChunk);
        lane.Submit([&there, theirs] { there.Hash(theirs, true, true); });
      }
      if (split) lane.Submit([&here, mine] { here.Hash(mine, false, true); });
      here.Hash(mine, true, !split);
      done += chunk;
      hashed += chunk + partnerChunk;
      if (options_.onProgress) options_.onProgress(hashed, size);
      if (!Pause()) return false;
    }
    lane.WaitUntilPending(0);
    const auto first = here.Finish();
    if (!first) return false;
    hashList.Add(*first);
    if (paired) {
      const auto second = there.Finish();
      if (!second) return false;
      hashList.Add(*second);
    }
    if (!Pause()) return false;
  }
  return true;
}

std::optional<_tagUnionHash> MD4OfFileRange(int fd, uint64_t start, uint32_t length) {
  std::vector<uint8_t> buffer(kReadChunk);
  CMD4Digest md4;
  for (uint32_t done = 0; done < length;) {
    const uint32_t chunk = std::min(kReadChunk, length - done);
    if (!PreadFully(fd, buffer.data(), chunk, start + done)) return std::nullopt;
    md4.Update(std::span<const uint8_t>(buffer.data(), chunk));
    done += chunk;
  }
  return md4.Final();
}

}  // namespace P2P::HASH
