#include "service/automation/EngineEventHub.h"

#include <algorithm>

#include "engine/download/DownloadFileManager.h"
#include "engine/search/SearchManager.h"
#include "engine/servers/ServerManager.h"
#include "engine/upload/UploadFileManager.h"
#include "framework/CriticalSection.h"

namespace OSTREL::COM {

CEngineEventHub::CEngineEventHub(std::shared_ptr<IEngineAccess> engine)
    : engine_(std::move(engine)) {}

std::shared_ptr<CEngineEventHub> CEngineEventHub::Create(std::shared_ptr<IEngineAccess> engine) {
  static OSTREL::Process::CMutex keptLock;
  static auto* kept PT_GUARDED_BY(keptLock) = new std::vector<std::shared_ptr<CEngineEventHub>>();
  std::shared_ptr<CEngineEventHub> hub(new CEngineEventHub(std::move(engine)));
  OSTREL::Process::CLock guard(keptLock);
  kept->push_back(hub);
  return hub;
}

CEngineEventHub::~CEngineEventHub() { Detach(); }

void CEngineEventHub::Attach() {
  OSTREL::Process::CLock guard(lock_);
  if (attached_) return;
  attached_ = true;
  if (auto* servers = engine_->Servers()) servers->Advise(this);
  if (auto* downloads = engine_->Downloads()) downloads->Advise(this);
  if (auto* uploads = engine_->Uploads()) uploads->Advise(this);
  if (auto* searches = engine_->Searches()) searches->Advise(this);
}

void CEngineEventHub::Detach() {
  OSTREL::Process::CLock guard(lock_);
  subscribers_.clear();
  if (!attached_) return;
  attached_ = false;
  if (auto* servers = engine_->Servers()) servers->Unadvise(this);
  if (auto* downloads = engine_->Downloads()) downloads->Unadvise(this);
  if (auto* uploads = engine_->Uploads()) uploads->Unadvise(this);
  if (auto* searches = engine_->Searches()) searches->Unadvise(this);
}

void CEngineEventHub::Subscribe(const std::shared_ptr<IEngineEventSubscriber>& subscriber) {
  OSTREL::Process::CLock guard(lock_);
  if (std::find(subscribers_.begin(), subscribers_.end(), subscriber) == subscribers_.end())
    subscribers_.push_back(subscriber);
}

void CEngineEventHub::Unsubscribe(const IEngineEventSubscriber* subscriber) {
  OSTREL::Process::CLock guard(lock_);
  std::erase_if(subscribers_, [&](const auto& s) { return s.get() == subscriber; });
}

// Under the lock, so that once Detach returns no subscriber is called any more (subscribers
// only post, so the lock is held briefly).
void CEngineEventHub::Fire(Source source, Kind kind, uint32_t key) {
  OSTREL::Process::CLock guard(lock_);
  if (!attached_) return;
  for (const auto& subscriber : subscribers_) subscriber->OnEngineEvent(source, kind, key);
}

void CEngineEventHub::OnServerAdded(const P2P::Remote::Server::_tagStructServerInfo& server) {
  Fire(Source::kServers, Kind::kAdded, server.id);
}
void CEngineEventHub::OnServerChanged(const P2P::Remote::Server::_tagStructServerInfo& server) {
  Fire(Source::kServers, Kind::kChanged, server.id);
}
void CEngineEventHub::OnServerRemoved(const P2P::Remote::Server::_tagStructServerInfo& server) {
  Fire(Source::kServers, Kind::kRemoved, server.id);
}

void CEngineEventHub::OnDownloadAdded(const P2P::Shared::_tagStructSharedFile& file) {
  Fire(Source::kDownloads, Kind::kAdded, file.id);
}
void CEngineEventHub::OnDownloadChanged(const P2P::Shared::_tagStructSharedFile& file) {
  Fire(Source::kDownloads, Kind::kChanged, file.id);
}
void CEngineEventHub::OnDownloadProgress(const P2P::Shared::_tagStructSharedFile& file, uint64_t,
                                         uint64_t) {
  Fire(Source::kDownloads, Kind::kChanged, file.id);
}
// A completion is a change of the download (its completed state, and where the file went);
// its removal follows as one event of its own.
void CEngineEventHub::OnDownloadCompleted(const P2P::Shared::_tagStructSharedFile& file) {
  {
    OSTREL::Process::CLock guard(departedLock_);
    completing_.insert(file.id);
  }
  Fire(Source::kDownloads, Kind::kChanged, file.id);
}
void CEngineEventHub::OnDownloadRemoved(const P2P::Shared::_tagStructSharedFile& file) {
  {
    OSTREL::Process::CLock guard(departedLock_);
    const bool completed = completing_.erase(file.id) > 0;
    departed_.push_back({file, completed});
    if (departed_.size() > kDepartedKept) departed_.pop_front();
  }
  Fire(Source::kDownloads, Kind::kRemoved, file.id);
}

std::optional<SDepartedDownload> CEngineEventHub::DepartedDownload(uint32_t key) const {
  OSTREL::Process::CLock guard(departedLock_);
  for (auto it = departed_.rbegin(); it != departed_.rend(); ++it)
    if (it->file.id == key) return *it;
  return std::nullopt;
}
// The engine raises it with the id of the download it concerns.
void CEngineEventHub::OnDownloadNotice(uint32_t value) {
  Fire(Source::kDownloads, Kind::kChanged, value);
}

void CEngineEventHub::OnSharedFileAdded(const P2P::Shared::_tagStructSharedFile& file) {
  Fire(Source::kSharedFiles, Kind::kAdded, file.id);
}
void CEngineEventHub::OnSharedFileChanged(const P2P::Shared::_tagStructSharedFile& file) {
  Fire(Source::kSharedFiles, Kind::kChanged, file.id);
}
void CEngineEventHub::OnSharedFileRemoved(const P2P::Shared::_tagStructSharedFile& file) {
  Fire(Source::kSharedFiles, Kind::kRemoved, file.id);
}

void CEngineEventHub::OnSearchStarted() { Fire(Source::kSearch, Kind::kStarted, 0); }
void CEngineEventHub::OnSearchResultAdded(const P2P::Shared::_tagStructSharedFile& file) {
  Fire(Source::kSearch, Kind::kAdded, file.id);
}
void CEngineEventHub::OnSearchResultChanged(const P2P::Shared::_tagStructSharedFile& file) {
  Fire(Source::kSearch, Kind::kChanged, file.id);
}
void CEngineEventHub::OnSearchNotify() { Fire(Source::kSearch, Kind::kNotify, 0); }

}  // namespace OSTREL::COM
