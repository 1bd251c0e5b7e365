// Who may download from this engine and who waits: a fixed number of upload slots and a
// bounded queue ordered by score = seconds waited × credit modifier. A start-upload request
// takes a free slot at once, else joins the queue (or is refused when the queue is full). When a
// slot frees, the best-scored waiting client with an open session is called; a slot is held for
// at most one part's worth of data or ten minutes, then its client queues again with its waiting
// time restarted. A waiter whose turn comes while it has no session (it reasks by UDP) is
// called back at the TCP port its hello named; one that does not come within a minute keeps
// its place but is passed over until it is heard from again. Waiters that neither reask nor
// reconnect within an hour leave. Clients are known by user hash; UDP reasks find them by
// address and UDP port. All time comes from the engine's tick source. Any thread: one lock guards
// everything; the credit modifier is called with that lock held, so it must not call back into the
// scheduler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/base/Hash.h"
#include "framework/CriticalSection.h"

namespace P2P::Client {

struct _tagStructUploadSchedulerSettings {
  uint32_t slots = 4;
  uint32_t maxQueue = 5000;
  uint64_t rotationBytes = 9728000;  // one part
  uint32_t rotationMs = 10 * 60 * 1000;
  uint32_t queueTimeoutMs = 60 * 60 * 1000;
  uint32_t callBackTimeoutMs = 60 * 1000;  // a client called back has this long to come
};

// The client asking, as its hello described it.
struct _tagStructUploadRequester {
  _tagUnionHash userHash;
  uint32_t address = 0;  // network byte order
  uint16_t udpPort = 0;
  _tagUnionHash fileHash;
  uint16_t tcpPort = 0;  // where it listens; 0 when it cannot be called back
};

enum class EUploadAdmission {
  kGranted,    // holds a slot now: accept the upload request
  kQueued,     // waits; answer with its rank
  kQueueFull,  // refused: no room in the queue
};

struct _tagStructUploadAdmission {
  EUploadAdmission result = EUploadAdmission::kQueueFull;
  uint32_t rank = 0;  // 1-based, while queued
};

enum class EReaskAnswer {
  kRanked,     // a waiter: answer with its rank
  kUploading,  // holds a slot: nothing to answer
  kQueueFull,  // unknown here and no room: say the queue is full
  kNotQueued,  // unknown here; it may ask over TCP
};

struct _tagStructReaskResult {
  EReaskAnswer answer = EReaskAnswer::kNotQueued;
  uint32_t rank = 0;
};

// What a pass over the slots and the queue decided; the peer sessions act on it.
struct _tagStructSchedulerEvents {
  std::vector<_tagUnionHash> called;   // given a slot: accept their upload request
  std::vector<_tagUnionHash> rotated;  // lost their slot: back in the queue, send the rank
  std::vector<_tagUnionHash> expired;  // left the queue silently
  // Given a slot with no session: connect to them and accept their upload there.
  std::vector<_tagStructUploadRequester> callBacks;
};

// One client of the scheduler as a listing shows it.
struct _tagStructUploadQueueEntry {
  _tagStructUploadRequester requester;
  bool uploading = false;
  uint32_t rank = 0;        // 1-based while queued; 0 for a slot holder
  uint32_t elapsedMs = 0;   // waited so far, or held the slot so far
  uint64_t slotBytes = 0;   // sent in the current slot
  double modifier = 1.0;    // credit modifier at the last contact
};

class CTARNNetUploadScheduler {
 public:
  // Credit modifier of a user (1 for one whose identity is not verified).
  using CreditModifier = std::function<double(const _tagUnionHash& userHash)>;

  explicit CTARNNetUploadScheduler(_tagStructUploadSchedulerSettings settings = {},
                                   CreditModifier modifier = nullptr);

  void SetSlots(uint32_t slots);
  void SetMaxQueue(uint32_t maxQueue);

  // A start-upload request over TCP: a slot holder keeps its slot, a waiter keeps its place
  // (its file and endpoint are updated), a new client takes a free slot or queues.
  _tagStructUploadAdmission Request(const _tagStructUploadRequester& requester);
  // A UDP file reask from `address`:`udpPort`: the rank of the waiter there, refreshing its
  // contact time; queue full or not queued otherwise.
  _tagStructReaskResult Reask(uint32_t address, uint16_t udpPort, const _tagUnionHash& fileHash);
  // The client's session opened (reconnect) or closed. A waiter stays queued either way, but
  // only clients with a session are called. A slot holder that loses its session gives the
  // slot up and queues again with its waiting time restarted, unless the queue is full.
  _tagStructSchedulerEvents SetConnected(const _tagUnionHash& userHash, bool connected);
  // Counts data sent to a slot holder; false once its slot is used up while a waiter could
  // take it (stop sending; the next pass rotates it) or when it holds no slot. A used-up slot
  // nobody can take starts a new term at once.
  bool AddSent(const _tagUnionHash& userHash, uint64_t bytes);
  // The client is done with us (its session ended while uploading, or it cancelled): it
  // leaves its slot or its place in the queue. Free slots are filled at once.
  _tagStructSchedulerEvents Remove(const _tagUnionHash& userHash);
  // The periodic pass: expire silent waiters, rotate used-up slots, fill free slots.
  _tagStructSchedulerEvents Tick();

  bool IsUploading(const _tagUnionHash& userHash) const;
  // 1-based position by score; 0 when not queued.
  uint32_t Rank(const _tagUnionHash& userHash) const;
  size_t QueueLength() const;
  size_t SlotsInUse() const;
  // Every client: slot holders first (longest held first), then the queue in rank order.
  std::vector<_tagStructUploadQueueEntry> Snapshot() const;

 private:
  struct SEntry {
    _tagStructUploadRequester requester;
    bool uploading = false;
    bool connected = true;
    uint32_t waitStart = 0;    // tick the current wait began
    uint32_t lastContact = 0;  // tick of the last request, reask or reconnect
    uint32_t slotStart = 0;    // tick the slot was granted
    uint64_t slotBytes = 0;    // sent since then
    uint64_t sequence = 0;     // arrival order, breaks ties of score
    double modifier = 1.0;     // cached at every contact
    bool callingBack = false;  // holds a slot it was called back for and has not come yet
    bool unreachable = false;  // a call back failed: passed over until heard from again
  };
  struct SHashKey {
    size_t operator()(const _tagUnionHash& hash) const;
  };
  using Entries = std::unordered_map<_tagUnionHash, SEntry, SHashKey>;
  using Endpoint = uint64_t;

  static Endpoint EndpointOf(uint32_t address, uint16_t udpPort) {
    return (uint64_t{address} << 16) | udpPort;
  }
  double ModifierOf(const _tagUnionHash& userHash) const;
  double ScoreLocked(const SEntry& entry, uint32_t now) const;
  // Does `a` go before `b` in the queue?
  bool BetterLocked(const SEntry& a, const SEntry& b, uint32_t now) const;
  uint32_t RankLocked(const SEntry& entry, uint32_t now) const REQUIRES(lock_);
  void TouchLocked(SEntry& entry, uint32_t now) REQUIRES(lock_);
  void SetEndpointLocked(SEntry& entry, uint32_t address, uint16_t udpPort) REQUIRES(lock_);
  void EraseLocked(Entries::iterator it) REQUIRES(lock_);
  void GrantLocked(SEntry& entry, uint32_t now) REQUIRES(lock_);
  void EnqueueLocked(SEntry& entry, uint32_t now) REQUIRES(lock_);
  bool SlotUsedUpLocked(const SEntry& entry, uint32_t now) const REQUIRES(lock_);
  // A waiter that can take a free slot: with a session, or one we can call back.
  static bool CallableLocked(const SEntry& entry);
  bool HasCallableWaiterLocked() const REQUIRES(lock_);
  // A call back that did not come: the slot is free again, the waiter keeps its place.
  void CallBackFailedLocked(SEntry& entry) REQUIRES(lock_);
  bool QueueFullLocked() const REQUIRES(lock_);
  void FillSlotsLocked(uint32_t now, _tagStructSchedulerEvents& events) REQUIRES(lock_);

  _tagStructUploadSchedulerSettings settings_;
  CreditModifier modifier_;
  mutable OSTREL::Process::CMutex lock_;
  Entries entries_ GUARDED_BY(lock_);
  std::unordered_map<Endpoint, _tagUnionHash> byEndpoint_ GUARDED_BY(lock_);
  size_t uploading_ GUARDED_BY(lock_) = 0;
  uint64_t nextSequence_ GUARDED_BY(lock_) = 0;
};

}  // namespace P2P::Client
