#include "engine/servers/ServerInfoList.h"

#include <algorithm>
#include <atomic>

namespace P2P::Remote::Server {
namespace {

// Ids are unique for the process, not per list: the API finds servers by them.
std::atomic<uint32_t> lastServerId{0};

}  // namespace

_tagStructServerInfo* CTARNNetServerInfoList::Add(const _tagStructServerInfo& entry) {
  OSTREL::Process::CLock guard(lock_);
  if (FindByAddress(entry.address)) return nullptr;
  auto copy = std::make_unique<_tagStructServerInfo>(entry);
  copy->id = ++lastServerId;
  entries_.push_back(std::move(copy));
  return entries_.back().get();
}

bool CTARNNetServerInfoList::Remove(uint32_t address) {
  OSTREL::Process::CLock guard(lock_);
  const auto found = std::find_if(entries_.begin(), entries_.end(), [address](const auto& entry) {
    return entry->address == address;
  });
  if (found == entries_.end()) return false;
  removed_.push_back(std::move(*found));
  entries_.erase(found);
  return true;
}

_tagStructServerInfo* CTARNNetServerInfoList::FindByAddress(uint32_t address) const {
  OSTREL::Process::CLock guard(lock_);
  for (const auto& entry : entries_)
    if (entry->address == address) return entry.get();
  return nullptr;
}

_tagStructServerInfo* CTARNNetServerInfoList::FindById(uint32_t id) const {
  OSTREL::Process::CLock guard(lock_);
  for (const auto& entry : entries_)
    if (entry->id == id) return entry.get();
  return nullptr;
}

_tagStructServerInfo* CTARNNetServerInfoList::At(size_t position) const {
  OSTREL::Process::CLock guard(lock_);
  if (position == 0 || position > entries_.size()) return nullptr;
  return entries_[position - 1].get();
}

size_t CTARNNetServerInfoList::Count() const {
  OSTREL::Process::CLock guard(lock_);
  return entries_.size();
}

void CTARNNetServerInfoList::Sort() {
  OSTREL::Process::CLock guard(lock_);
  // The checker updates statistics without the lock: sort on values read once, so the order
  // stays consistent while we sort.
  struct SKey {
    uint32_t files, users;
    std::unique_ptr<_tagStructServerInfo> entry;
  };
  std::vector<SKey> keyed;
  keyed.reserve(entries_.size());
  for (auto& entry : entries_)
    keyed.push_back({LoadField(entry->status.files), LoadField(entry->status.users),
                     std::move(entry)});
  std::stable_sort(keyed.begin(), keyed.end(), [](const SKey& a, const SKey& b) {
    if (a.files != b.files) return a.files > b.files;
    return a.users > b.users;
  });
  for (size_t i = 0; i < keyed.size(); ++i) entries_[i] = std::move(keyed[i].entry);
}

void CTARNNetServerInfoList::ForEach(
    const std::function<bool(_tagStructServerInfo&)>& visit) const {
  OSTREL::Process::CLock guard(lock_);
  for (const auto& entry : entries_)
    if (!visit(*entry)) return;
}

}  // namespace P2P::Remote::Server
