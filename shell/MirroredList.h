// A live copy of one of the daemon's lists, kept sorted by key: it reads the whole list once,
// then follows the list's events on a worker thread of its own, reading the records a burst of
// events names in one call and telling its listeners of every change. When the daemon leaves
// the bus the copy empties and says so; when the name gets a new owner it reads the list
// again. Readers (snapshot, find, count) take a short lock that no bus call is ever made under;
// Rename waits for its call on the worker. Any thread, except that listeners run on the worker
// and Stop must not be called from a listener.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/CriticalSection.h"
#include "service/automation/FileRecords.h"
#include "service/client/ApiClient.h"
#include "shell/BusWorker.h"
#include "shell/MirrorListener.h"

namespace tarn::shell {

// One event of a list as the mirror queues it.
struct SMirrorEvent {
  enum class EKind { kAdded, kChanged, kRemoved, kCleared } kind;
  uint32_t key = 0;
};

// The sink a mirror advises on its list: each event is queued for the mirror's next batch.
class CMirrorEventQueue {
 public:
  explicit CMirrorEventQueue(std::function<void(SMirrorEvent)> queue) : queue_(std::move(queue)) {}

 protected:
  void Queue(SMirrorEvent::EKind kind, uint32_t key = 0) { queue_({kind, key}); }

 private:
  std::function<void(SMirrorEvent)> queue_;
};

class CFileEventSink : public OSTREL::COM::_IP2PFileListEvents, public CMirrorEventQueue {
 public:
  using CMirrorEventQueue::CMirrorEventQueue;
  void OnFileAdded(uint32_t key) override { Queue(SMirrorEvent::EKind::kAdded, key); }
  void OnFileChanged(uint32_t key) override { Queue(SMirrorEvent::EKind::kChanged, key); }
  void OnFileRemoved(uint32_t key) override { Queue(SMirrorEvent::EKind::kRemoved, key); }
};

class CResultEventSink : public OSTREL::COM::_IP2PSearchResultFileListEvents,
                         public CMirrorEventQueue {
 public:
  using CMirrorEventQueue::CMirrorEventQueue;
  void OnResultsCleared() override { Queue(SMirrorEvent::EKind::kCleared); }
  void OnResultAdded(uint32_t key) override { Queue(SMirrorEvent::EKind::kAdded, key); }
  void OnResultChanged(uint32_t key) override { Queue(SMirrorEvent::EKind::kChanged, key); }
  void OnSearchNotify() override {}
};

// Traits name, per list: Record, List (its interface), Item, Sink, `static HRESULT
// GetList(IP2PServiceManager&, std::shared_ptr<List>*)` and `static bool Listed(const Record&)`
// (false for a record of an item that has left the list).
template <typename Traits>
class CMirroredListT {
 public:
  using Record = typename Traits::Record;
  using List = typename Traits::List;
  using Listener = IMirrorListenerT<Record>;

  // `connect` makes the worker's bus client (the session bus in the program, a private bus in
  // tests); the daemon is reached at the client's destination.
  explicit CMirroredListT(CBusWorker::Connect connect) : worker_(std::move(connect)) {}
  virtual ~CMirroredListT() { Stop(); }
  CMirroredListT(const CMirroredListT&) = delete;
  CMirroredListT& operator=(const CMirroredListT&) = delete;

  // Watches the daemon's name and reads the list (starting the daemon through the bus when
  // it is not running); returns once the first reading is done, online or not.
  void Start() {
    worker_.Call([this] {
      WatchDaemon();
      Load();
    });
  }

  // Lets go of the list and ends the worker. Idempotent.
  void Stop() {
    worker_.Stop([this] {
      ownerWatch_.reset();
      DropList();
    });
  }

  void AddListener(std::shared_ptr<Listener> listener) {
    OSTREL::Process::CLock guard(listenersLock_);
    listeners_.push_back(std::move(listener));
  }
  void RemoveListener(const Listener* listener) {
    OSTREL::Process::CLock guard(listenersLock_);
    std::erase_if(listeners_, [&](const auto& l) { return l.get() == listener; });
  }

  std::vector<Record> Snapshot() const {
    OSTREL::Process::CLock guard(lock_);
    return records_;
  }
  std::optional<Record> Find(uint32_t key) const {
    OSTREL::Process::CLock guard(lock_);
    const auto at = LowerBound(records_, key);
    if (at == records_.end() || at->key != key) return std::nullopt;
    return *at;
  }
  size_t Count() const {
    OSTREL::Process::CLock guard(lock_);
    return records_.size();
  }
  // Whether the daemon answered the last reading and has not left since.
  bool Online() const {
    OSTREL::Process::CLock guard(lock_);
    return online_;
  }

  // Renames the file of `key` (lists whose items have Rename); the copy follows the daemon's
  // change event. Waits for the daemon's answer; RPC_E_DISCONNECTED while it is away.
  OSTREL::COM::HRESULT Rename(uint32_t key, const std::string& name) {
    auto run = [&] {
      if (!list_) return OSTREL::COM::RPC_E_DISCONNECTED;
      std::shared_ptr<typename Traits::Item> item;
      const auto hr = list_->get_ItemByKey(static_cast<int32_t>(key), &item);
      if (!OSTREL::COM::Succeeded(hr) || !item) return hr;
      return item->Rename(&name);
    };
    return worker_.OnWorker() ? run() : worker_.Call(run);
  }

 private:
  using RecordsOfList = OSTREL::COM::IP2PRecordsT<Record>;

  template <typename Records>
  static auto LowerBound(Records& records, uint32_t key) {
    return std::lower_bound(records.begin(), records.end(), key,
                            [](const Record& r, uint32_t k) { return r.key < k; });
  }

  // Worker thread from here on.

  void WatchDaemon() {
    auto* client = worker_.Client();
    if (client == nullptr) return;
    const std::string rule =
        "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
        "member='NameOwnerChanged',arg0='" +
        client->Destination() + "'";
    try {
      ownerWatch_ = client->Connection().addMatch(rule, [this](sdbus::Message& message) {
        std::string name, oldOwner, newOwner;
        message >> name >> oldOwner >> newOwner;
        if (!oldOwner.empty()) Disconnect();
        if (!newOwner.empty()) Load();
      });
    } catch (const sdbus::Error&) {
      // Without the watch the mirror still works; it only misses a restart.
    }
  }

  void Load() {
    Disconnect();
    auto* client = worker_.Client();
    if (client == nullptr) return;
    manager_ = client->ServiceManager();
    std::shared_ptr<List> list;
    if (!OSTREL::COM::Succeeded(Traits::GetList(*manager_, &list)) || !list) return Disconnect();
    sink_ =
        std::make_shared<typename Traits::Sink>([this](SMirrorEvent event) { QueueEvent(event); });
    // Advised before reading, so nothing that happens in between is missed; the events that
    // arrive meanwhile are applied after the reading.
    if (!OSTREL::COM::Succeeded(list->Advise(sink_, &cookie_))) return Disconnect();
    auto* records = dynamic_cast<RecordsOfList*>(list.get());
    std::vector<Record> all;
    if (records == nullptr || !OSTREL::COM::Succeeded(records->GetRecords(&all)))
      return Disconnect();
    std::sort(all.begin(), all.end(),
              [](const Record& a, const Record& b) { return a.key < b.key; });
    list_ = std::move(list);
    {
      OSTREL::Process::CLock guard(lock_);
      records_ = std::move(all);
      online_ = true;
    }
    Tell(EMirrorChange::kReloaded, nullptr);
  }

  // Lets go of the remote objects (in the daemon too, when it is still there).
  void DropList() {
    pending_.clear();
    if (list_ && cookie_ != 0) list_->Unadvise(cookie_);
    cookie_ = 0;
    list_.reset();
    sink_.reset();
    manager_.reset();
  }

  void Disconnect() {
    DropList();
    bool wasOnline = false;
    {
      OSTREL::Process::CLock guard(lock_);
      wasOnline = online_;
      online_ = false;
      records_.clear();
    }
    if (wasOnline) Tell(EMirrorChange::kDisconnected, nullptr);
  }

  // Events are applied in batches: every event the connection holds is queued before the
  // batch runs, so one call reads all the records they name.
  void QueueEvent(SMirrorEvent event) {
    pending_.push_back(event);
    if (pending_.size() == 1) worker_.Post([this] { ApplyPending(); });
  }

  void ApplyPending() {
    std::vector<SMirrorEvent> events;
    events.swap(pending_);
    if (!list_ || events.empty()) return;
    std::vector<uint32_t> keys;
    for (const SMirrorEvent& event : events)
      if (event.kind != SMirrorEvent::EKind::kCleared) keys.push_back(event.key);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    std::vector<Record> fetched;
    if (!keys.empty()) {
      const auto hr = dynamic_cast<RecordsOfList&>(*list_).GetRecordsByKey(keys, &fetched);
      if (hr == OSTREL::COM::RPC_E_DISCONNECTED) return;  // the owner watch takes over
    }
    std::sort(fetched.begin(), fetched.end(),
              [](const Record& a, const Record& b) { return a.key < b.key; });
    for (const SMirrorEvent& event : events) Apply(event, FindIn(fetched, event.key));
  }

  static const Record* FindIn(const std::vector<Record>& records, uint32_t key) {
    const auto at = LowerBound(records, key);
    return at != records.end() && at->key == key ? &*at : nullptr;
  }

  void Apply(const SMirrorEvent& event, const Record* fetched) {
    std::optional<Record> told;
    EMirrorChange change = EMirrorChange::kChanged;
    {
      OSTREL::Process::CLock guard(lock_);
      const auto at = LowerBound(records_, event.key);
      const bool held = at != records_.end() && at->key == event.key;
      switch (event.kind) {
        case SMirrorEvent::EKind::kAdded:
          if (fetched == nullptr || !Traits::Listed(*fetched)) return;
          if (held) {
            *at = *fetched;
          } else {
            records_.insert(at, *fetched);
          }
          change = held ? EMirrorChange::kChanged : EMirrorChange::kAdded;
          told = *fetched;
          break;
        case SMirrorEvent::EKind::kChanged:
          // A change of an item the copy does not hold changes nothing.
          if (!held || fetched == nullptr) return;
          *at = *fetched;
          told = *fetched;
          break;
        case SMirrorEvent::EKind::kRemoved:
          change = EMirrorChange::kRemoved;
          if (fetched != nullptr && !Traits::Listed(*fetched)) {
            told = *fetched;  // how it left
          } else if (held) {
            told = *at;
          }
          if (held) records_.erase(at);
          if (!told) return;
          break;
        case SMirrorEvent::EKind::kCleared:
          records_.clear();
          change = EMirrorChange::kCleared;
          break;
      }
    }
    Tell(change, told ? &*told : nullptr);
  }

  void Tell(EMirrorChange change, const Record* record) {
    std::vector<std::shared_ptr<Listener>> listeners;
    {
      OSTREL::Process::CLock guard(listenersLock_);
      listeners = listeners_;
    }
    for (const auto& listener : listeners) listener->OnMirrorChange(change, record);
  }

  mutable OSTREL::Process::CMutex lock_;
  std::vector<Record> records_ GUARDED_BY(lock_);  // sorted by key
  bool online_ GUARDED_BY(lock_) = false;

  OSTREL::Process::CMutex listenersLock_;
  std::vector<std::shared_ptr<Listener>> listeners_ GUARDED_BY(listenersLock_);

  // Worker thread only.
  std::shared_ptr<OSTREL::COM::IP2PServiceManager> manager_;
  std::shared_ptr<List> list_;
  std::shared_ptr<typename Traits::Sink> sink_;
  uint32_t cookie_ = 0;
  std::vector<SMirrorEvent> pending_;
  sdbus::Slot ownerWatch_;

  // Last: started after the members it uses and stopped (by Stop) before they go.
  CBusWorker worker_;
};

}  // namespace tarn::shell
