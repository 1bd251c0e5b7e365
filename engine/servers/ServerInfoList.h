// The known servers, in the order the manager keeps them: more files first, on equal files
// more users first, equal entries in the order they came. Entries are owned by the list and
// stay allocated while the engine runs (a removed entry is only unlisted), so the pointers it
// hands out stay valid. Every walk,
// look-up, add and sort takes the list's lock; any thread may call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/servers/ServerInfo.h"
#include "framework/CriticalSection.h"

namespace P2P::Remote::Server {

class CTARNNetServerInfoList {
 public:
  // Stores a copy with the next process-wide id; nullptr when the address is already listed.
  _tagStructServerInfo* Add(const _tagStructServerInfo& entry);
  bool Contains(uint32_t address) const { return FindByAddress(address) != nullptr; }
  _tagStructServerInfo* FindByAddress(uint32_t address) const;
  _tagStructServerInfo* FindById(uint32_t id) const;
  // 1-based, as the API's collections count.
  _tagStructServerInfo* At(size_t position) const;
  _tagStructServerInfo* First() const { return At(1); }
  size_t Count() const;
  void Sort();
  // Unlists the entry of `address`; false when none is listed.
  bool Remove(uint32_t address);

  // Calls `visit` on each entry in list order under the lock; stops when it returns false.
  void ForEach(const std::function<bool(_tagStructServerInfo&)>& visit) const;
  OSTREL::Process::CCriticalSection& Lock() const RETURN_CAPABILITY(lock_) { return lock_; }

 private:
  mutable OSTREL::Process::CCriticalSection lock_;
  std::vector<std::unique_ptr<_tagStructServerInfo>> entries_ GUARDED_BY(lock_);
  // Removed entries, kept so that pointers still held elsewhere stay valid.
  std::vector<std::unique_ptr<_tagStructServerInfo>> removed_ GUARDED_BY(lock_);
};

}  // namespace P2P::Remote::Server
