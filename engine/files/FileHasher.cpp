#include "engine/files/FileHasher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include "engine/files/AICHBlockHasher.h"
#include "engine/files/Digest.h"
#include "engine/files/HashConstants.h"
#include "framework/TickSource.h"

namespace P2P::HASH {
namespace {

class CReadOnlyFile {
 public:
  explicit CReadOnlyFile(const std::filesystem::path& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~CReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  CReadOnlyFile(const CReadOnlyFile&) = delete;
  CReadOnlyFile& operator=(const CReadOnlyFile&) = delete;

  int Fd() const { return fd_; }

 private:
  int fd_;
};

// Reads exactly `length` bytes; a file that ends early (it shrank) or fails to read fails.
bool ReadFully(int fd, uint8_t* buffer, size_t length) {
  while (length > 0) {
    const ssize_t got = ::read(fd, buffer, length);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer += got;
    length -= static_cast<size_t>(got);
  }
  return true;
}

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
bool StillSameFile(int fd, const std::filesystem::path& path, uint32_t size) {
  struct stat opened {};
  struct stat named {};
  if (::fstat(fd, &opened) != 0 || ::stat(path.c_str(), &named) != 0) return false;
  return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino &&
         static_cast<uint64_t>(opened.st_size) == size;
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
                                  AICH_HASH::CTARNNetAICHTree* tree,
                                  MD4_HASH::CTARNNetHashList* hashList) {
  std::unique_lock<OSTREL::Process::CCriticalSection> lock;
  if (options_.hashingLock != nullptr)
    lock = std::unique_lock<OSTREL::Process::CCriticalSection>(*options_.hashingLock);
  _tagUnionHash hash;
  AICH_HASH::CTARNNetAICHTree localTree;
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
  AICH_HASH::CTARNNetAICHTree tree;
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
                                    AICH_HASH::CTARNNetAICHTree& tree,
                                    MD4_HASH::CTARNNetHashList& hashList) {
  CReadOnlyFile file(path);
  struct stat info {};
  if (file.Fd() < 0 || ::fstat(file.Fd(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > UINT32_MAX) return false;
  const auto size = static_cast<uint32_t>(info.st_size);
  ::posix_fadvise(file.Fd(), 0, 0, POSIX_FADV_SEQUENTIAL);

  tree.Reset(size);
  hashList.Clear();
  hashList.SetFileSize(size);
  std::vector<uint8_t> buffer(std::min<uint32_t>(std::max<uint32_t>(size, 1), kHashingReadSize));
  CMD4Digest md4;
  CAICHBlockHasher blocks;
  uint32_t hashed = 0;
  for (uint32_t part = 0; part < PartCount(size); ++part) {
    if (ShouldStop()) return false;
    const uint32_t length = PartLength(size, part);
    if (!blocks.StartPart(tree.Root().FindNode(PartStart(part), length, true))) return false;
    for (uint32_t done = 0; done < length;) {
      if (ShouldStop()) return false;
      const uint32_t chunk = std::min<uint32_t>(kHashingReadSize, length - done);
      if (!ReadFully(file.Fd(), buffer.data(), chunk)) return false;
      // Block-sized slices keep each piece in cache while both digests read it.
      for (uint32_t at = 0; at < chunk; at += kAICHBlockSize) {
        const std::span<const uint8_t> slice(buffer.data() + at,
                                             std::min(kAICHBlockSize, chunk - at));
        md4.Update(slice);
        if (!blocks.Feed(slice)) return false;
      }
      done += chunk;
      hashed += chunk;
      if (options_.onProgress) options_.onProgress(hashed, size);
      if (!Pause()) return false;
    }
    hashList.Add(md4.Final());
    if (!blocks.FinishPart()) return false;
    if (!Pause()) return false;
  }
  // A file that ends on a part boundary (or is empty) has an empty last part, whose hash the
  // network counts too.
  if (size % kPartSize == 0) hashList.Add(md4.Final());
  if (size == 0) tree.Root().SetHash(SHA1Of(std::span<const uint8_t>()));
  if (!StillSameFile(file.Fd(), path, size)) return false;
  if (!tree.ComputeAndVerify()) return false;
  fileHash = hashList.DeriveFileHash();
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
