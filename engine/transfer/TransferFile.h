// A file the engine moves over the network: the shared-file record plus a lock, the part
// completion bitmap, the known sources and the hash set. It holds no transfer logic: the
// download or upload object that attaches installs a table of callbacks, and each transfer
// operation forwards to its callback (answering 0, or "finished" for IsFinished, when none is
// installed). Reference counted; any thread, the file's lock guards its transfer state.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/hashing/FileHashSet.h"
#include "engine/hashing/HashConstants.h"
#include "engine/library/SharedFile.h"
#include "engine/transfer/PeerList.h"
#include "engine/transfer/RequestRecord.h"
#include "engine/transfer/TransferBlock.h"
#include "framework/CriticalSection.h"
#include "framework/Event.h"
#include "framework/ReferencePtr.h"

namespace P2P::Shared::File::TransferFile {

// Received data handed to a download: a whole block, or (block null) a byte count only.
struct _tagStructReceivedData {
  const CTARNNetTransferBlock* block = nullptr;
  uint32_t newBytes = 0;
};

// The operations a download or upload object installs; every one gets the user data first.
struct _tagStructTransferCallbacks {
  bool (*create)(void* user, const std::string& path, OSTREL::Process::CEvent* stopEvent) = nullptr;
  bool (*restore)(void* user, const std::string& path) = nullptr;
  bool (*save)(void* user) = nullptr;
  bool (*readRange)(void* user, uint32_t start, uint32_t end, std::vector<uint8_t>& data) = nullptr;
  bool (*acceptData)(void* user, const _tagStructReceivedData& data) = nullptr;
  bool (*setPath)(void* user, const std::string& fullPath) = nullptr;
  bool (*reserved54)(void* user) = nullptr;
  bool (*isFinished)(void* user) = nullptr;
  bool (*moveTo)(void* user, const std::string& path) = nullptr;
  bool (*isStopped)(void* user) = nullptr;
  bool (*setStopped)(void* user, bool stopped) = nullptr;
  bool (*isPaused)(void* user) = nullptr;
  bool (*setPaused)(void* user, bool paused) = nullptr;
  bool (*resume)(void* user) = nullptr;
  bool (*cancel)(void* user) = nullptr;
  uint32_t (*remainingBytes)(void* user) = nullptr;
  bool (*countSourceIn)(void* user, std::span<const uint8_t> partBitmap) = nullptr;
  bool (*countSourceOut)(void* user, std::span<const uint8_t> partBitmap) = nullptr;
  uint32_t (*chooseBlocks)(void* user, std::span<const uint8_t> partBitmap,
                           _tagStructRequestRecord& request, uint32_t wanted,
                           std::span<const std::pair<uint32_t, uint32_t>> askedOfSource) = nullptr;
  bool (*forgetRequest)(void* user, const _tagStructRequestRecord& request) = nullptr;
  uint32_t (*completedBytes)(void* user) = nullptr;
  uint32_t (*receivedBytes)(void* user) = nullptr;
  uint32_t (*speed)(void* user) = nullptr;
  bool (*addSource)(void* user, uint32_t clientId, uint16_t port, uint32_t serverAddress,
                    uint16_t serverPort) = nullptr;
  bool (*removeSource)(void* user, uint32_t clientId) = nullptr;
  bool (*addTransferring)(void* user, void* client) = nullptr;
  bool (*removeTransferring)(void* user, void* client) = nullptr;
  bool (*statisticsSample)(void* user) = nullptr;
  // A reference on the user data for the length of one call, so that a detach on another
  // thread (which drops the file's reference) cannot free it under the call.
  void (*retain)(void* user) = nullptr;
  void (*release)(void* user) = nullptr;
};

class CTARNNetTransferFile : public CTARNNetSharedFileT<1> {
 public:
  CTARNNetTransferFile() = default;
  explicit CTARNNetTransferFile(const _tagStructSharedFile& record)
      : CTARNNetSharedFileT<1>(record) {}

  virtual void Lock() { lock_.lock(); }
  virtual void Unlock() { lock_.unlock(); }
  OSTREL::Process::CCriticalSection& LockObject() { return lock_; }

  // Attaching replaces the whole table and the user data; Detach empties both.
  void Attach(const _tagStructTransferCallbacks& callbacks, void* userData);
  void Detach() { Attach({}, nullptr); }
  void* GetUserData() const;
  _tagStructTransferCallbacks GetCallbacks() const { return Table().table; }
  void SetUserData(void* userData);

  bool Create(const std::string& path, OSTREL::Process::CEvent* stopEvent);
  bool Restore(const std::string& path);
  bool Save();
  bool ReadRange(uint32_t start, uint32_t end, std::vector<uint8_t>& data);
  bool AcceptData(const _tagStructReceivedData& data);
  bool SetPath(const std::string& fullPath);
  bool Reserved54();
  // True without a callback: a file with no download attached is complete.
  bool IsFinished();
  bool MoveTo(const std::string& path);
  bool IsStopped();
  bool SetStopped(bool stopped);
  bool IsPaused();
  bool SetPaused(bool paused);
  bool Resume();
  bool Cancel();
  uint32_t RemainingBytes();
  uint32_t PartCount() const { return HASH::PartCount(GetSize()); }
  Remote::Peer::CTARNNetPeerList& Sources() { return sources_; }
  HASH::CTARNNetFileHashSet& HashSet() { return hashSet_; }
  // One byte per part, 1 when complete and verified; empty when nothing is recorded.
  std::vector<uint8_t>& CompletionBitmap() { return completion_; }
  bool CountSourceIn(std::span<const uint8_t> partBitmap);
  bool CountSourceOut(std::span<const uint8_t> partBitmap);
  // `askedOfSource`: the blocks this source was already asked for, never chosen again for it.
  uint32_t ChooseBlocks(std::span<const uint8_t> partBitmap, _tagStructRequestRecord& request,
                        uint32_t wanted,
                        std::span<const std::pair<uint32_t, uint32_t>> askedOfSource = {});
  bool ForgetRequest(const _tagStructRequestRecord& request);
  uint32_t CompletedBytes();
  uint32_t ReceivedBytes();
  uint32_t Speed();
  bool AddSource(uint32_t clientId, uint16_t port, uint32_t serverAddress, uint16_t serverPort);
  bool RemoveSource(uint32_t clientId);
  bool AddTransferring(void* client);
  bool RemoveTransferring(void* client);
  bool StatisticsSample();

 private:
  // The table and user data at the time of the call, so a detach while a callback runs on
  // another thread cannot tear the pair, with a reference on the user data held until the
  // call is over. Tables are kept once per distinct content for the life of the process (a
  // handful exist), so every file of a list points at the same one.
  class CBoundTable {
   public:
    CBoundTable(const _tagStructTransferCallbacks& table, void* user) : table(table), user(user) {
      if (table.retain != nullptr && user != nullptr) table.retain(user);
    }
    ~CBoundTable() {
      if (table.release != nullptr && user != nullptr) table.release(user);
    }
    CBoundTable(const CBoundTable&) = delete;
    CBoundTable& operator=(const CBoundTable&) = delete;

    const _tagStructTransferCallbacks& table;
    void* const user;
  };
  CBoundTable Table() const;
  static const _tagStructTransferCallbacks* Intern(const _tagStructTransferCallbacks& table);
  static const _tagStructTransferCallbacks* EmptyTable() {
    static const _tagStructTransferCallbacks* const empty = Intern({});
    return empty;
  }

  mutable OSTREL::Process::CCriticalSection lock_;
  const _tagStructTransferCallbacks* callbacks_ = EmptyTable();
  void* userData_ = nullptr;
  std::vector<uint8_t> completion_;
  Remote::Peer::CTARNNetPeerList sources_;
  HASH::CTARNNetFileHashSet hashSet_;
};

using CTransferFilePtr = OSTREL::CReferencePtr<CTARNNetTransferFile>;

}  // namespace P2P::Shared::File::TransferFile
