// Test fixture for the desktop side's mirrors: the in-process engine published on the test's
// private session bus (ApiBusTest), mirrors on bus clients of their own, and a listener that
// replays every change it is told into a copy of its own, as the web page's push channel will.
// The test thread drives the daemon through the fixture's client.
#pragma once

#include <map>
#include <mutex>
#include <sstream>
#include <tuple>

#include "service/automation/FileRecords.h"
#include "shell/Mirrors.h"
#include "tests/service_bus/ApiBusFixture.h"
#include "tests/support/WaitUntil.h"

namespace tarn::test {

inline shell::CBusWorker::Connect SessionBusClient() {
  return [] { return std::make_unique<CApiClient>(sdbus::createSessionBusConnection()); };
}

// Rebuilds a list from nothing but the changes a mirror tells.
template <typename Record>
class CReplayListener : public shell::IMirrorListenerT<Record> {
 public:
  using Reread = std::function<std::vector<Record>()>;
  explicit CReplayListener(Reread reread) : reread_(std::move(reread)) {}

  void OnMirrorChange(shell::EMirrorChange change, const Record* record) override {
    std::lock_guard guard(lock_);
    ++changes_[change];
    switch (change) {
      case shell::EMirrorChange::kAdded:
      case shell::EMirrorChange::kChanged:
        records_[record->key] = *record;
        break;
      case shell::EMirrorChange::kRemoved:
        records_.erase(record->key);
        removed_.push_back(*record);
        break;
      case shell::EMirrorChange::kReloaded:
        records_.clear();
        for (const Record& r : reread_()) records_[r.key] = r;
        break;
      case shell::EMirrorChange::kCleared:
      case shell::EMirrorChange::kDisconnected:
        records_.clear();
        break;
    }
  }

  std::vector<Record> Records() const {
    std::lock_guard guard(lock_);
    std::vector<Record> records;
    for (const auto& [key, record] : records_) records.push_back(record);
    return records;
  }
  int Count(shell::EMirrorChange change) const {
    std::lock_guard guard(lock_);
    const auto found = changes_.find(change);
    return found == changes_.end() ? 0 : found->second;
  }
  std::vector<Record> Removed() const {
    std::lock_guard guard(lock_);
    return removed_;
  }

 private:
  Reread reread_;
  mutable std::mutex lock_;
  std::map<uint32_t, Record> records_;
  std::map<shell::EMirrorChange, int> changes_;
  std::vector<Record> removed_;
};

// Every field of a record, for a failure message.
template <typename Record>
std::string Describe(const Record& record) {
  std::ostringstream text;
  std::apply([&](const auto&... field) { ((text << field << '|'), ...); }, record.Tie());
  return text.str();
}

// The first difference of two record lists, for a failure message.
template <typename Record>
std::string FirstDifference(const std::vector<Record>& mirror, const std::vector<Record>& daemon) {
  for (size_t i = 0; i < std::min(mirror.size(), daemon.size()); ++i) {
    if (mirror[i] == daemon[i]) continue;
    return "at " + std::to_string(i) + ": mirror has " + Describe(mirror[i]) + " daemon has " +
           Describe(daemon[i]);
  }
  return std::to_string(mirror.size()) + " mirrored, " + std::to_string(daemon.size()) +
         " in the daemon";
}

class MirrorTest : public ApiBusTest {
 protected:
  // The daemon's list as its records say, sorted by key.
  template <typename Records, typename List>
  std::vector<typename Records::value_type> DaemonRecords(List& list) {
    Records records;
    using Record = typename Records::value_type;
    auto* source = dynamic_cast<IP2PRecordsT<Record>*>(&list);
    if (source == nullptr || !Succeeded(source->GetRecords(&records))) return {};
    std::sort(records.begin(), records.end(),
              [](const Record& a, const Record& b) { return a.key < b.key; });
    return records;
  }

  // A video the test's index server finds for searches of the words in `name`.
  void IndexVideo(const std::string& name) {
    IndexedFile indexed;
    indexed.hash.fill(0x5A);
    indexed.name = name;
    indexed.size = 7000000;
    indexed.type = "Video";
    server_.AddFile(indexed);
  }

  // Restarts the daemon's API as tarnsvc restarting would look on the bus: the name leaves,
  // then comes back with a new owner.
  void RestartApi() {
    bus_->Stop();
    bus_.reset();
    bus_ = std::make_unique<CApiBus>(sdbus::createSessionBusConnection(), &lock_);
    ASSERT_TRUE(bus_->Start(AccessTo(*module_), CApiClient::kDefaultDestination));
  }
};

}  // namespace tarn::test
