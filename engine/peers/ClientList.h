// Every known remote client, and the two queues that hold them by role: sources of our
// downloads (with the reask pass that asks them again) and clients that asked us (with
// first-come positions). The engine root keeps one CTARNNetClientList; sessions and downloads
// reach it through the hooks below. Any thread: each list has its own lock, and hooks are
// called after the lock is left.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "engine/peers/Client.h"
#include "framework/CriticalSection.h"

namespace P2P::Client {

// A list of client references under its own lock.
class ITARNNetClientListT {
 public:
  virtual ~ITARNNetClientListT() = default;
  virtual void Add(const CClientPtr& client);
  virtual bool Remove(const CTARNNetClient* client);
  void Clear();
  bool Contains(const CTARNNetClient* client) const;
  size_t Size() const;
  std::vector<CClientPtr> Snapshot() const;

 protected:
  mutable OSTREL::Process::CMutex lock_;
  std::vector<CClientPtr> clients_ GUARDED_BY(lock_);
};

class CTARNNetUploadClientQueue : public ITARNNetClientListT {
 public:
  // Position = the number already queued.
  void Add(const CClientPtr& client) override;
  // The rest are renumbered 0, 1, 2... in list order.
  bool Remove(const CTARNNetClient* client) override;
};

class CTARNNetDownloadClientQueue : public ITARNNetClientListT {
 public:
  // Whether the download of a file goes on (neither paused nor stopped).
  using ActiveTest = std::function<bool(const _tagUnionHash& file)>;
  // Open sessions in state 8 or 9 whose retry elapsed ask for the file again; clients without
  // a session whose reask elapsed are returned for reconnecting, or, waiting by UDP (state
  // 6) with fewer than two pings lost, go to `pings` when given. Sources of a download that
  // is not `active` are left as they are, timers and state, until it goes on.
  std::vector<CClientPtr> CollectReasks(const ActiveTest& active = {},
                                        std::vector<CClientPtr>* pings = nullptr);
};

class CTARNNetClientList : public ITARNNetClientListT {
 public:
  // Connects a client for downloading (or for an upload call-back); set by the peer side.
  using ConnectHook = std::function<bool(const CClientPtr& client, bool uploadCallback)>;
  // Removes a source from the download of `file`; set by the download side.
  using RemoveSourceHook = std::function<void(const _tagUnionHash& file, uint32_t clientId)>;
  // Sends a file reask ping to a client waiting in its queue; false when none can go out.
  using PingHook = std::function<bool(const CClientPtr& client)>;
  // What a client waiting in its queue answered to a ping.
  enum class EPingAnswer { kRank, kQueueFull, kFileNotFound };

  void SetConnectHook(ConnectHook hook);
  void SetRemoveSourceHook(RemoveSourceHook hook);
  // Tells a download that goes on from one paused or stopped; set by the download side.
  void SetActiveHook(CTARNNetDownloadClientQueue::ActiveTest hook);
  // Without one, clients waiting by UDP are reconnected instead; set by the peer side.
  void SetPingHook(PingHook hook);
  // A ping answer came from `address`:`udpPort`: it is the answer of the client there that
  // waits for one longest. A rank keeps its place and the next ping is due in 29 minutes; a
  // full queue is asked again then too; a file it no longer has makes it unusable.
  void OnPingAnswer(uint32_t address, uint16_t udpPort, EPingAnswer answer, uint16_t rank = 0);

  // A download gained a source: a new client in this list and the download queue, connected
  // at once. Null when it could not connect.
  CClientPtr CreateDownloadSource(const _tagUnionHash& file, uint32_t clientId, uint16_t port,
                                  uint32_t serverAddress, uint16_t serverPort,
                                  const _tagUnionHash& userHash = {});
  // An accepted connection or a call-back relayed by the server: this list and the upload queue.
  CClientPtr CreateUploadClient(uint32_t address, uint16_t port);
  // Calls back a low-id client the server told us about.
  CClientPtr CallBack(uint32_t address, uint16_t port);
  // Connects to a client waiting in our upload queue with no session, to give `user` its slot
  // for `file`; false when it cannot connect.
  bool CallForSlot(uint32_t address, uint16_t port, const _tagUnionHash& user,
                   const _tagUnionHash& file);
  // Off every list; a download source is also taken off its download.
  void Drop(const CTARNNetClient* client);
  // A source of ours known as `user` that waits in its queue with no connection; null when
  // there is none.
  CClientPtr FindWaitingSource(const _tagUnionHash& user) const;
  // A download source's entry for `file` goes away: the client is dropped.
  void DropSource(const _tagUnionHash& file, uint32_t clientId);
  // The once-a-second pass: reasks and retries of the download queue.
  void ReaskPass();
  void ClearAll();

  CTARNNetDownloadClientQueue& DownloadQueue() { return downloadQueue_; }
  CTARNNetUploadClientQueue& UploadQueue() { return uploadQueue_; }

 private:
  CTARNNetDownloadClientQueue downloadQueue_;
  CTARNNetUploadClientQueue uploadQueue_;
  mutable OSTREL::Process::CMutex hookLock_;
  ConnectHook connect_ GUARDED_BY(hookLock_);
  RemoveSourceHook removeSource_ GUARDED_BY(hookLock_);
  CTARNNetDownloadClientQueue::ActiveTest active_ GUARDED_BY(hookLock_);
  PingHook ping_ GUARDED_BY(hookLock_);
};

}  // namespace P2P::Client
