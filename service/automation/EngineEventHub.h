// The one handler the automation layer registers with each engine manager. Lists and search
// requests subscribe here instead of registering themselves: the engine fans out over a copy
// of its handler list, so a handler may be called even after it unregistered. Hubs are
// therefore made by Create and kept for the life of the process; a detached hub is inert.
// Subscribers are called on the engine's thread under the hub's lock and must only post.
// Any thread.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "engine/download/DownloadEventHandler.h"
#include "engine/library/SharedFileEventHandler.h"
#include "engine/search/SearchEventHandler.h"
#include "engine/servers/ServerEventHandler.h"
#include "framework/CriticalSection.h"
#include "service/automation/EngineAccess.h"

namespace OSTREL::COM {

// A subscriber gets every kind of event and picks those it relays.
class IEngineEventSubscriber {
 public:
  enum class Source { kServers, kDownloads, kSharedFiles, kSearch };
  enum class Kind { kAdded, kChanged, kRemoved, kStarted, kNotify };
  virtual ~IEngineEventSubscriber() = default;
  virtual void OnEngineEvent(Source source, Kind kind, uint32_t key) = 0;
};

// A download that left the list: its record as it left, and whether it had completed.
struct SDepartedDownload {
  P2P::Shared::_tagStructSharedFile file;
  bool completed = false;
};

class CEngineEventHub : private P2P::ITARNNetP2PServerEventHandler,
                        private P2P::ITARNNetP2PDownloadEventHandler,
                        private P2P::ITARNNetP2PSharedFileEventHandler,
                        private P2P::ITARNNetP2PSearchEventHandler {
 public:
  using Source = IEngineEventSubscriber::Source;
  using Kind = IEngineEventSubscriber::Kind;

  // A hub that lives until the process ends.
  static std::shared_ptr<CEngineEventHub> Create(std::shared_ptr<IEngineAccess> engine);
  ~CEngineEventHub() override;

  // Registers with every manager the engine has; Detach undoes it (both idempotent).
  void Attach();
  void Detach();

  void Subscribe(const std::shared_ptr<IEngineEventSubscriber>& subscriber);
  void Unsubscribe(const IEngineEventSubscriber* subscriber);

  // How one of the last kDepartedKept downloads that left the list ended; nothing for others.
  static constexpr size_t kDepartedKept = 256;
  std::optional<SDepartedDownload> DepartedDownload(uint32_t key) const;

 private:
  explicit CEngineEventHub(std::shared_ptr<IEngineAccess> engine);
  void Fire(Source source, Kind kind, uint32_t key);

  void OnServerAdded(const P2P::Remote::Server::_tagStructServerInfo& server) override;
  void OnServerChanged(const P2P::Remote::Server::_tagStructServerInfo& server) override;
  void OnServerRemoved(const P2P::Remote::Server::_tagStructServerInfo& server) override;

  void OnDownloadAdded(const P2P::Shared::_tagStructSharedFile& file) override;
  void OnDownloadChanged(const P2P::Shared::_tagStructSharedFile& file) override;
  void OnDownloadProgress(const P2P::Shared::_tagStructSharedFile& file, uint64_t completedBytes,
                          uint64_t receivedBytes) override;
  void OnDownloadCompleted(const P2P::Shared::_tagStructSharedFile& file) override;
  void OnDownloadRemoved(const P2P::Shared::_tagStructSharedFile& file) override;
  void OnDownloadNotice(uint32_t value) override;

  void OnSharedFileAdded(const P2P::Shared::_tagStructSharedFile& file) override;
  void OnSharedFileChanged(const P2P::Shared::_tagStructSharedFile& file) override;
  void OnSharedFileRemoved(const P2P::Shared::_tagStructSharedFile& file) override;

  void OnSearchStarted() override;
  void OnSearchResultAdded(const P2P::Shared::_tagStructSharedFile& file) override;
  void OnSearchResultChanged(const P2P::Shared::_tagStructSharedFile& file) override;
  void OnSearchNotify() override;

  std::shared_ptr<IEngineAccess> engine_;
  OSTREL::Process::CMutex lock_;
  bool attached_ GUARDED_BY(lock_) = false;
  std::vector<std::shared_ptr<IEngineEventSubscriber>> subscribers_ GUARDED_BY(lock_);

  mutable OSTREL::Process::CMutex departedLock_;
  std::set<uint32_t> completing_ GUARDED_BY(departedLock_);  // completed, not yet gone
  std::deque<SDepartedDownload> departed_ GUARDED_BY(departedLock_);
};

}  // namespace OSTREL::COM
