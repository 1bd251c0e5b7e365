#include "engine/peers/UploadScheduler.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/protocol/PeerMessages.h"
#include "framework/CriticalSection.h"
#include "framework/TickSource.h"

namespace P2P::Client {
namespace {

// Read under the lock: a tick read before waiting for it could be older than the contact
// times other callers wrote meanwhile, and the unsigned age would wrap to "an hour silent".
uint32_t Now() { return OSTREL::Process::CTickSource::Now(); }

}  // namespace

size_t CTARNNetUploadScheduler::SHashKey::operator()(const _tagUnionHash& hash) const {
  size_t key = 0;
  std::memcpy(&key, hash.bytes.data(), sizeof key);
  return key;
}

CTARNNetUploadScheduler::CTARNNetUploadScheduler(_tagStructUploadSchedulerSettings settings,
                                                 CreditModifier modifier)
    : settings_(settings), modifier_(std::move(modifier)) {}

void CTARNNetUploadScheduler::SetSlots(uint32_t slots) {
  OSTREL::Process::CLock guard(lock_);
  settings_.slots = slots;
}

void CTARNNetUploadScheduler::SetMaxQueue(uint32_t maxQueue) {
  OSTREL::Process::CLock guard(lock_);
  settings_.maxQueue = maxQueue;
}

double CTARNNetUploadScheduler::ModifierOf(const _tagUnionHash& userHash) const {
  if (!modifier_) return 1.0;
  const double value = modifier_(userHash);
  // A broken modifier must not stall the queue or let one client jump it for ever.
  return value >= 1.0 && value <= 10.0 ? value : 1.0;
}

double CTARNNetUploadScheduler::ScoreLocked(const SEntry& entry, uint32_t now) const {
  return static_cast<double>(now - entry.waitStart) / 1000.0 * entry.modifier;
}

bool CTARNNetUploadScheduler::BetterLocked(const SEntry& a, const SEntry& b, uint32_t now) const {
  const double scoreA = ScoreLocked(a, now), scoreB = ScoreLocked(b, now);
  if (scoreA != scoreB) return scoreA > scoreB;
  return a.sequence < b.sequence;
}

uint32_t CTARNNetUploadScheduler::RankLocked(const SEntry& entry, uint32_t now) const {
  uint32_t ahead = 0;
  for (const auto& [hash, other] : entries_)
    if (!other.uploading && &other != &entry && BetterLocked(other, entry, now)) ++ahead;
  return ahead + 1;
}

void CTARNNetUploadScheduler::TouchLocked(SEntry& entry, uint32_t now) {
  entry.lastContact = now;
  entry.modifier = ModifierOf(entry.requester.userHash);
  entry.unreachable = false;
}

void CTARNNetUploadScheduler::SetEndpointLocked(SEntry& entry, uint32_t address, uint16_t udpPort) {
  const Endpoint old = EndpointOf(entry.requester.address, entry.requester.udpPort);
  if (auto it = byEndpoint_.find(old);
      it != byEndpoint_.end() && it->second == entry.requester.userHash)
    byEndpoint_.erase(it);
  entry.requester.address = address;
  entry.requester.udpPort = udpPort;
  // The latest client seen at an address and port is the one a UDP reask from there means.
  if (udpPort != 0) byEndpoint_[EndpointOf(address, udpPort)] = entry.requester.userHash;
}

void CTARNNetUploadScheduler::EraseLocked(Entries::iterator it) {
  SEntry& entry = it->second;
  SetEndpointLocked(entry, 0, 0);
  if (entry.uploading) --uploading_;
  entries_.erase(it);
}

void CTARNNetUploadScheduler::GrantLocked(SEntry& entry, uint32_t now) {
  if (!entry.uploading) ++uploading_;
  entry.uploading = true;
  entry.slotStart = now;
  entry.slotBytes = 0;
}

void CTARNNetUploadScheduler::EnqueueLocked(SEntry& entry, uint32_t now) {
  if (entry.uploading) --uploading_;
  entry.uploading = false;
  entry.waitStart = now;
  entry.sequence = nextSequence_++;
}

bool CTARNNetUploadScheduler::QueueFullLocked() const {
  return entries_.size() - uploading_ >= settings_.maxQueue;
}

bool CTARNNetUploadScheduler::SlotUsedUpLocked(const SEntry& entry, uint32_t now) const {
  return entry.slotBytes >= settings_.rotationBytes ||
         now - entry.slotStart >= settings_.rotationMs;
}

_tagStructUploadAdmission CTARNNetUploadScheduler::Request(
    const _tagStructUploadRequester& requester) {
  OSTREL::Process::CLock guard(lock_);
  const uint32_t now = Now();
  auto it = entries_.find(requester.userHash);
  if (it == entries_.end()) {
    const bool slotFree = uploading_ < settings_.slots;
    if (!slotFree && QueueFullLocked())
      return {EUploadAdmission::kQueueFull, 0};
    it = entries_.emplace(requester.userHash, SEntry{}).first;
    it->second.requester.userHash = requester.userHash;
    EnqueueLocked(it->second, now);
  }
  SEntry& entry = it->second;
  entry.requester.fileHash = requester.fileHash;
  entry.requester.tcpPort = requester.tcpPort;
  SetEndpointLocked(entry, requester.address, requester.udpPort);
  entry.connected = true;
  entry.callingBack = false;
  TouchLocked(entry, now);
  if (!entry.uploading && uploading_ < settings_.slots) GrantLocked(entry, now);
  if (entry.uploading) return {EUploadAdmission::kGranted, 0};
  return {EUploadAdmission::kQueued, RankLocked(entry, now)};
}

_tagStructReaskResult CTARNNetUploadScheduler::Reask(uint32_t address, uint16_t udpPort,
                                                     const _tagUnionHash& fileHash) {
  OSTREL::Process::CLock guard(lock_);
  const uint32_t now = Now();
  const auto known = byEndpoint_.find(EndpointOf(address, udpPort));
  const auto it = known == byEndpoint_.end() ? entries_.end() : entries_.find(known->second);
  if (it == entries_.end()) {
    const bool full = uploading_ >= settings_.slots && QueueFullLocked();
    return {full ? EReaskAnswer::kQueueFull : EReaskAnswer::kNotQueued, 0};
  }
  SEntry& entry = it->second;
  if (entry.uploading) return {EReaskAnswer::kUploading, 0};
  entry.requester.fileHash = fileHash;
  TouchLocked(entry, now);
  return {EReaskAnswer::kRanked, RankLocked(entry, now)};
}

_tagStructSchedulerEvents CTARNNetUploadScheduler::SetConnected(const _tagUnionHash& userHash,
                                                                bool connected) {
  _tagStructSchedulerEvents events;
  OSTREL::Process::CLock guard(lock_);
  const uint32_t now = Now();
  const auto it = entries_.find(userHash);
  if (it == entries_.end()) return events;
  SEntry& entry = it->second;
  entry.connected = connected;
  if (connected) {
    entry.callingBack = false;
    TouchLocked(entry, now);
  } else if (entry.callingBack) {
    CallBackFailedLocked(entry);
  } else if (entry.uploading && QueueFullLocked()) {
    // A full queue takes nobody back: otherwise clients that grab a free slot and hang up
    // (or keep saying hello under new user hashes) would grow it past its cap.
    EraseLocked(it);
  } else if (entry.uploading) {
    EnqueueLocked(entry, now);
    entry.lastContact = now;
  }
  FillSlotsLocked(now, events);
  return events;
}

bool CTARNNetUploadScheduler::AddSent(const _tagUnionHash& userHash, uint64_t bytes) {
  OSTREL::Process::CLock guard(lock_);
  const uint32_t now = Now();
  const auto it = entries_.find(userHash);
  if (it == entries_.end() || !it->second.uploading) return false;
  SEntry& entry = it->second;
  entry.slotBytes += bytes;
  if (!SlotUsedUpLocked(entry, now)) return true;
  // With nobody to take the slot the holder goes on in a new term at once: waiting for the
  // next pass would only stall the transfer.
  if (HasCallableWaiterLocked()) return false;
  GrantLocked(entry, now);
  return true;
}

bool CTARNNetUploadScheduler::CallableLocked(const SEntry& entry) {
  if (entry.uploading) return false;
  if (entry.connected) return true;
  return !entry.unreachable && entry.requester.tcpPort != 0 &&
         !Protocol::IsPeerLowId(entry.requester.address);
}

bool CTARNNetUploadScheduler::HasCallableWaiterLocked() const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [](const auto& held) { return CallableLocked(held.second); });
}

void CTARNNetUploadScheduler::CallBackFailedLocked(SEntry& entry) {
  if (entry.uploading) --uploading_;
  entry.uploading = false;
  entry.callingBack = false;
  entry.unreachable = true;
}

_tagStructSchedulerEvents CTARNNetUploadScheduler::Remove(const _tagUnionHash& userHash) {
  _tagStructSchedulerEvents events;
  OSTREL::Process::CLock guard(lock_);
  const uint32_t now = Now();
  if (const auto it = entries_.find(userHash); it != entries_.end()) EraseLocked(it);
  FillSlotsLocked(now, events);
  return events;
}

_tagStructSchedulerEvents CTARNNetUploadScheduler::Tick() {
  _tagStructSchedulerEvents events;
  OSTREL::Process::CLock guard(lock_);
  const uint32_t now = Now();
  size_t callable = 0;
  for (auto it = entries_.begin(); it != entries_.end();) {
    SEntry& entry = it->second;
    if (!entry.uploading && now - entry.lastContact >= settings_.queueTimeoutMs) {
      events.expired.push_back(it->first);
      auto gone = it++;
      EraseLocked(gone);
      continue;
    }
    if (entry.callingBack && now - entry.slotStart >= settings_.callBackTimeoutMs)
      CallBackFailedLocked(entry);
    if (CallableLocked(entry)) ++callable;
    ++it;
  }
  // A used-up slot goes to a waiter only when one can take it; with nobody to call, its
  // holder simply starts a new slot term.
  for (auto& [hash, entry] : entries_) {
    if (!entry.uploading || entry.callingBack || !SlotUsedUpLocked(entry, now)) continue;
    if (callable > 0) {
      --callable;
      EnqueueLocked(entry, now);
      entry.lastContact = now;
      events.rotated.push_back(hash);
    } else {
      GrantLocked(entry, now);
    }
  }
  FillSlotsLocked(now, events);
  return events;
}

void CTARNNetUploadScheduler::FillSlotsLocked(uint32_t now, _tagStructSchedulerEvents& events) {
  while (uploading_ < settings_.slots) {
    SEntry* best = nullptr;
    for (auto& [hash, entry] : entries_)
      if (CallableLocked(entry) && (best == nullptr || BetterLocked(entry, *best, now)))
        best = &entry;
    if (best == nullptr) return;
    GrantLocked(*best, now);
    if (best->connected) {
      events.called.push_back(best->requester.userHash);
    } else {
      best->callingBack = true;
      events.callBacks.push_back(best->requester);
    }
  }
}

bool CTARNNetUploadScheduler::IsUploading(const _tagUnionHash& userHash) const {
  OSTREL::Process::CLock guard(lock_);
  const auto it = entries_.find(userHash);
  return it != entries_.end() && it->second.uploading;
}

uint32_t CTARNNetUploadScheduler::Rank(const _tagUnionHash& userHash) const {
  OSTREL::Process::CLock guard(lock_);
  const uint32_t now = Now();
  const auto it = entries_.find(userHash);
  if (it == entries_.end() || it->second.uploading) return 0;
  return RankLocked(it->second, now);
}

size_t CTARNNetUploadScheduler::QueueLength() const {
  OSTREL::Process::CLock guard(lock_);
  return entries_.size() - uploading_;
}

size_t CTARNNetUploadScheduler::SlotsInUse() const {
  OSTREL::Process::CLock guard(lock_);
  return uploading_;
}

std::vector<_tagStructUploadQueueEntry> CTARNNetUploadScheduler::Snapshot() const {
  OSTREL::Process::CLock guard(lock_);
  const uint32_t now = Now();
  std::vector<const SEntry*> order;
  order.reserve(entries_.size());
  for (const auto& [hash, entry] : entries_) order.push_back(&entry);
  // One sort gives the ranks, instead of a walk of the queue per waiter.
  std::sort(order.begin(), order.end(), [&](const SEntry* a, const SEntry* b) {
    if (a->uploading != b->uploading) return a->uploading;
    if (a->uploading) return now - a->slotStart > now - b->slotStart;
    return BetterLocked(*a, *b, now);
  });
  std::vector<_tagStructUploadQueueEntry> listing;
  listing.reserve(order.size());
  uint32_t rank = 0;
  for (const SEntry* entry : order) {
    _tagStructUploadQueueEntry& item = listing.emplace_back();
    item.requester = entry->requester;
    item.uploading = entry->uploading;
    item.rank = entry->uploading ? 0 : ++rank;
    item.elapsedMs = now - (entry->uploading ? entry->slotStart : entry->waitStart);
    item.slotBytes = entry->uploading ? entry->slotBytes : 0;
    item.modifier = entry->modifier;
  }
  return listing;
}

}  // namespace P2P::Client
