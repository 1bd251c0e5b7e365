#include "shell/ui/BusUiData.h"

#include <algorithm>
#include <future>
#include <set>

#include "engine/protocol/Ed2kLink.h"
#include "platform/RegistryKey.h"
#include "service/automation/P2PConnection.h"
#include "shell/ui/ItemDetails.h"
#include "shell/ui/Launcher.h"

namespace tarn::shell::ui {
namespace {

using namespace std::chrono_literals;
using namespace OSTREL::COM;

constexpr auto kReconnectPause = 1s;
constexpr auto kReloadPause = 250ms;
constexpr auto kStatusPause = 1s;
constexpr auto kCallTimeout = 20s;
constexpr const char* kAlertKey = "Software\\Ostrel\\Z2E Vuvirir Adozez";
constexpr const char* kAlertValue = "Download Complete Alert";

SDownloadRecord DownloadRecordOf(const SItemDetails& d) {
  SDownloadRecord r;
  r.key = d.key;
  r.hash = d.hash;
  r.name = d.name;
  r.fullPath = d.fullPath;
  r.size = d.size;
  r.typeName = d.typeName;
  r.lastWriteTime = d.lastWriteTime;
  r.creationTime = d.creationTime;
  r.nodes = d.nodes;
  r.completeNodes = d.completeNodes;
  r.completedSize = d.completedSize;
  r.speed = d.speed;
  r.paused = d.paused;
  r.stopped = d.stopped;
  return r;
}

SSharedFileRecord SharedRecordOf(const SItemDetails& d) {
  SSharedFileRecord r;
  r.key = d.key;
  r.hash = d.hash;
  r.name = d.name;
  r.fullPath = d.fullPath;
  r.size = d.size;
  r.typeName = d.typeName;
  r.lastWriteTime = d.lastWriteTime;
  r.creationTime = d.creationTime;
  return r;
}

SSearchResultRecord ResultRecordOf(const SItemDetails& d) {
  SSearchResultRecord r;
  r.key = d.key;
  r.hash = d.hash;
  r.name = d.name;
  r.size = d.size;
  r.format = d.format;
  r.nodes = d.nodes;
  r.completeNodes = d.completeNodes;
  r.typeName = d.typeName;
  r.duration = d.duration;
  r.bitrate = d.bitrate;
  r.album = d.album;
  r.artist = d.artist;
  r.title = d.title;
  r.codec = d.codec;
  return r;
}

// Every item of a list, held by key; nothing when the list could not be read. Items that
// leave the list while it is read are left out.
template <typename Item, typename Record>
std::optional<std::vector<Record>> ReadList(IP2PCollectionT<Item>& list,
                                            Record (*toRecord)(const SItemDetails&)) {
  int32_t count = 0;
  if (!Succeeded(list.get_Count(&count))) return std::nullopt;
  std::vector<Record> records;
  records.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int32_t i = 1; i <= count; ++i) {
    std::shared_ptr<Item> item;
    const HRESULT hr = list.get_Item(i, &item);
    if (hr == RPC_E_DISCONNECTED) return std::nullopt;
    if (Succeeded(hr) && item) records.push_back(toRecord(ReadDetails(*item)));
  }
  std::sort(records.begin(), records.end(),
            [](const Record& a, const Record& b) { return a.key < b.key; });
  return records;
}

bool CompletionAlertWanted(OSTREL::Platform::CRegistry& registry) {
  const auto key = OSTREL::Platform::CRegKey::Create(
      registry, OSTREL::Platform::RegRoot::kLocalMachine, kAlertKey);
  return !key || key->QueryDword(kAlertValue).value_or(1) != 0;
}

}  // namespace

// The lists' events only mark what to read again; the worker reads it after the pump.
class CBusUiData::CSinks final : public _IP2PFileListEvents,
                                 public _IP2PSearchResultFileListEvents,
                                 public _IP2PSearchRequestEvents {
 public:
  CSinks(CBusUiData& owner, std::atomic<bool>& dirty) : owner_(owner), dirty_(dirty) {}
  void OnFileAdded(uint32_t) override { dirty_ = true; }
  void OnFileChanged(uint32_t) override { dirty_ = true; }
  void OnFileRemoved(uint32_t) override { dirty_ = true; }
  // A new search empties the folder at once, before its first result comes.
  void OnResultsCleared() override {
    dirty_ = true;
    {
      std::lock_guard guard(owner_.lock_);
      owner_.results_ = std::make_shared<const std::vector<SSearchResultRecord>>();
    }
    owner_.hub_.Touch(EChannel::kResults);
  }
  void OnResultAdded(uint32_t) override { dirty_ = true; }
  void OnResultChanged(uint32_t) override { dirty_ = true; }
  void OnSearchStarted() override {
    dirty_ = true;
    owner_.searchState_ = ESearchState::kSearching;
    owner_.hub_.Touch(EChannel::kSearch);
  }
  // The search was sent to every server it goes to (late answers still come in). Its end
  // shows once the results are read again, so the folder then holds what the search found.
  void OnSearchNotify() override {
    dirty_ = true;
    owner_.searchEnded_ = true;
  }

 private:
  CBusUiData& owner_;
  std::atomic<bool>& dirty_;
};

struct CBusUiData::SSession {
  std::shared_ptr<IP2PServiceManager> manager;
  std::shared_ptr<IP2PConnection> connection;
  std::shared_ptr<IP2PConfig> config;
  std::shared_ptr<IP2PDownloadFileList> downloads;
  std::shared_ptr<IP2PSharedFileList> shared;
  std::shared_ptr<IP2PSearchResultFileList> results;
  std::shared_ptr<IP2PSearchRequest> request;
  std::shared_ptr<CSinks> downloadSink, sharedSink, resultSink, requestSink;
  std::chrono::steady_clock::time_point lastReload{}, lastStatus{};
};

CBusUiData::CBusUiData(Connect connect, CEventHub& hub, OSTREL::Platform::CRegistry& registry,
                       Completed completed)
    : hub_(hub), registry_(registry), completed_(std::move(completed)) {
  downloads_ = std::make_shared<const std::vector<SDownloadRecord>>();
  shared_ = std::make_shared<const std::vector<SSharedFileRecord>>();
  results_ = std::make_shared<const std::vector<SSearchResultRecord>>();
  thread_ = std::thread([this, connect = std::move(connect)] { Loop(connect); });
}

CBusUiData::~CBusUiData() { Stop(); }

void CBusUiData::Stop() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void CBusUiData::Loop(Connect connect) {
  auto stopping = [this] {
    std::lock_guard guard(lock_);
    return stopping_;
  };
  auto lastAttempt = std::chrono::steady_clock::now() - kReconnectPause;
  while (!stopping()) {
    if (!session_ && std::chrono::steady_clock::now() - lastAttempt >= kReconnectPause) {
      lastAttempt = std::chrono::steady_clock::now();
      if (!client_) client_ = connect();
      if (client_ && !OpenSession(*client_)) client_.reset();
    }
    // The page's calls, one at a time.
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard guard(lock_);
        if (tasks_.empty()) break;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
    if (session_) {
      client_->PumpUntil(
          [this] {
            std::lock_guard guard(lock_);
            return stopping_ || !tasks_.empty();
          },
          100ms);
      ReloadDirty(false);
      PollStatus();
    } else {
      std::unique_lock guard(lock_);
      wake_.wait_for(guard, 200ms, [this] { return stopping_ || !tasks_.empty(); });
    }
  }
  // Calls still waiting get their fallback; the remote objects go while the bus is there.
  std::deque<std::function<void()>> left;
  {
    std::lock_guard guard(lock_);
    left.swap(tasks_);
  }
  session_.reset();
  for (auto& task : left) task();
  client_.reset();
}

bool CBusUiData::OpenSession(CApiClient& client) {
  auto session = std::make_unique<SSession>();
  session->manager = client.ServiceManager();
  session->connection = client.ServerConnection();
  if (!session->manager || !session->connection) return false;
  SConnectionState probe;
  if (!Succeeded(session->connection->GetConnectionState(&probe))) return false;
  if (!Succeeded(session->manager->get_Config(&session->config)) ||
      !Succeeded(session->manager->get_DownloadFileList(&session->downloads)) ||
      !Succeeded(session->manager->get_SharedFileList(&session->shared)) ||
      !Succeeded(session->manager->get_SearchResultFileList(&session->results)) ||
      !Succeeded(session->manager->get_SearchRequest(&session->request)) || !session->config ||
      !session->downloads || !session->shared || !session->results || !session->request)
    return false;
  session->downloadSink = std::make_shared<CSinks>(*this, dirtyDownloads_);
  session->sharedSink = std::make_shared<CSinks>(*this, dirtyShared_);
  session->resultSink = std::make_shared<CSinks>(*this, dirtyResults_);
  session->requestSink = std::make_shared<CSinks>(*this, dirtyResults_);
  uint32_t cookie = 0;
  session->downloads->Advise(session->downloadSink, &cookie);
  session->shared->Advise(session->sharedSink, &cookie);
  session->results->Advise(session->resultSink, &cookie);
  session->request->Advise(session->requestSink, &cookie);
  session_ = std::move(session);
  reachable_ = true;
  dirtyDownloads_ = dirtyShared_ = dirtyResults_ = true;
  ReloadDirty(true);
  hub_.Touch(EChannel::kDaemon);
  return session_ != nullptr;
}

void CBusUiData::Disconnect() {
  session_.reset();
  client_.reset();  // a new connection next time: the old one may have lost the bus
  reachable_ = false;
  searchState_ = ESearchState::kIdle;
  {
    std::lock_guard guard(lock_);
    downloads_ = std::make_shared<const std::vector<SDownloadRecord>>();
    shared_ = std::make_shared<const std::vector<SSharedFileRecord>>();
    results_ = std::make_shared<const std::vector<SSearchResultRecord>>();
    status_ = {};
  }
  for (EChannel c : {EChannel::kDaemon, EChannel::kDownloads, EChannel::kShared, EChannel::kResults,
                     EChannel::kStatus, EChannel::kSearch})
    hub_.Touch(c);
}

void CBusUiData::ReloadDirty(bool force) {
  if (!session_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - session_->lastReload < kReloadPause) return;
  session_->lastReload = now;
  bool lost = false;
  std::vector<SDownloadRecord> gone;
  if (dirtyDownloads_.exchange(false)) {
    auto read = ReadList(*session_->downloads, &DownloadRecordOf);
    if (!read) {
      lost = true;
    } else {
      const auto before = Downloads();
      for (const SDownloadRecord& d : *before)
        if (!std::any_of(read->begin(), read->end(), [&](const auto& n) { return n.key == d.key; }))
          gone.push_back(d);
      {
        std::lock_guard guard(lock_);
        downloads_ = std::make_shared<const std::vector<SDownloadRecord>>(std::move(*read));
      }
      hub_.Touch(EChannel::kDownloads);
      // A download that finished has joined the shared files: read them now to tell.
      if (!gone.empty()) dirtyShared_ = true;
    }
  }
  if (!lost && dirtyShared_.exchange(false)) {
    auto read = ReadList(*session_->shared, &SharedRecordOf);
    if (!read) {
      lost = true;
    } else {
      {
        std::lock_guard guard(lock_);
        shared_ = std::make_shared<const std::vector<SSharedFileRecord>>(std::move(*read));
      }
      hub_.Touch(EChannel::kShared);
    }
  }
  if (!lost && dirtyResults_.exchange(false)) {
    auto read = ReadList(*session_->results, &ResultRecordOf);
    if (!read) {
      lost = true;
    } else {
      {
        std::lock_guard guard(lock_);
        results_ = std::make_shared<const std::vector<SSearchResultRecord>>(std::move(*read));
      }
      hub_.Touch(EChannel::kResults);
      if (searchEnded_.exchange(false)) {
        searchState_ = ESearchState::kDone;
        hub_.Touch(EChannel::kSearch);
      }
    }
  }
  if (lost) return Disconnect();
  if (!gone.empty()) NoticeCompletions(gone);
}

void CBusUiData::NoticeCompletions(const std::vector<SDownloadRecord>& gone) {
  const auto shared = SharedFiles();
  for (const SDownloadRecord& d : gone) {
    // Completed rather than cancelled: it had all its bytes when last seen, or its file is
    // shared now.
    const bool completed = (d.size != 0 && d.completedSize >= d.size) ||
                           std::any_of(shared->begin(), shared->end(), [&](const auto& f) {
                             return !d.hash.empty() && f.hash == d.hash;
                           });
    if (completed && completed_ && CompletionAlertWanted(registry_)) completed_(d.name);
  }
}

void CBusUiData::PollStatus() {
  if (!session_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - session_->lastStatus < kStatusPause) return;
  session_->lastStatus = now;
  SConnectionState connection;
  STransferTotals totals;
  if (!Succeeded(session_->connection->GetConnectionState(&connection)) ||
      !Succeeded(session_->connection->GetTransferTotals(&totals)))
    return Disconnect();
  SStatusBar status;
  status.connected = connection.connected;
  status.serverName = connection.name;
  status.serverAddress = connection.address;
  status.lowId = connection.lowId;
  status.users = connection.users;
  status.files = connection.files;
  status.uploadRate = totals.uploadRate;
  status.downloadRate = totals.downloadRate;
  {
    std::lock_guard guard(lock_);
    status_ = status;
  }
  hub_.Touch(EChannel::kStatus);
}

template <typename R>
R CBusUiData::OnWorker(std::function<R(SSession&)> task, R fallback) {
  auto promise = std::make_shared<std::promise<R>>();
  auto answer = promise->get_future();
  {
    std::lock_guard guard(lock_);
    if (stopping_) return fallback;
    tasks_.push_back([this, promise, task = std::move(task), fallback] {
      promise->set_value(session_ ? task(*session_) : fallback);
    });
  }
  wake_.notify_all();
  if (answer.wait_for(kCallTimeout) != std::future_status::ready) return fallback;
  return answer.get();
}

Snapshot<SDownloadRecord> CBusUiData::Downloads() {
  std::lock_guard guard(lock_);
  return downloads_;
}
Snapshot<SSharedFileRecord> CBusUiData::SharedFiles() {
  std::lock_guard guard(lock_);
  return shared_;
}
Snapshot<SSearchResultRecord> CBusUiData::Results() {
  std::lock_guard guard(lock_);
  return results_;
}
SStatusBar CBusUiData::Status() {
  std::lock_guard guard(lock_);
  return status_;
}

std::optional<SItemDetails> CBusUiData::Details(EFolder folder, uint32_t key) {
  return OnWorker<std::optional<SItemDetails>>(
      [folder, key](SSession& s) -> std::optional<SItemDetails> {
        const auto k = static_cast<int32_t>(key);
        if (folder == EFolder::kIncoming) {
          std::shared_ptr<IP2PDownloadFile> item;
          if (Succeeded(s.downloads->get_ItemByKey(k, &item)) && item) return ReadDetails(*item);
        } else if (folder == EFolder::kShared) {
          std::shared_ptr<IP2PSharedFile> item;
          if (Succeeded(s.shared->get_ItemByKey(k, &item)) && item) return ReadDetails(*item);
        } else if (folder == EFolder::kSearchResults) {
          std::shared_ptr<IP2PSearchResultFile> item;
          if (Succeeded(s.results->get_ItemByKey(k, &item)) && item) return ReadDetails(*item);
        }
        return std::nullopt;
      },
      std::nullopt);
}

HRESULT CBusUiData::Verb(uint32_t downloadKey, EDownloadVerb verb) {
  return OnWorker<HRESULT>(
      [downloadKey, verb, this](SSession& s) {
        std::shared_ptr<IP2PDownloadFile> item;
        HRESULT hr = s.downloads->get_ItemByKey(static_cast<int32_t>(downloadKey), &item);
        if (!Succeeded(hr) || !item) return Succeeded(hr) ? E_FAIL : hr;
        switch (verb) {
          case EDownloadVerb::kPause:
            hr = item->Pause();
            break;
          case EDownloadVerb::kStop:
            hr = item->Stop();
            break;
          case EDownloadVerb::kResume:
            hr = item->Resume();
            break;
          case EDownloadVerb::kCancel:
            hr = item->Cancel();
            break;
        }
        dirtyDownloads_ = true;
        return hr;
      },
      RPC_E_DISCONNECTED);
}

HRESULT CBusUiData::Download(uint32_t resultKey) {
  return OnWorker<HRESULT>(
      [resultKey](SSession& s) {
        return s.results->Download(static_cast<int32_t>(resultKey), std::nullopt, std::nullopt);
      },
      RPC_E_DISCONNECTED);
}

HRESULT CBusUiData::Rename(EFolder folder, uint32_t key, const std::string& name) {
  return OnWorker<HRESULT>(
      [folder, key, name](SSession& s) -> HRESULT {
        const auto k = static_cast<int32_t>(key);
        if (folder == EFolder::kIncoming) {
          std::shared_ptr<IP2PDownloadFile> item;
          if (Succeeded(s.downloads->get_ItemByKey(k, &item)) && item) return item->Rename(&name);
        } else if (folder == EFolder::kShared) {
          std::shared_ptr<IP2PSharedFile> item;
          if (Succeeded(s.shared->get_ItemByKey(k, &item)) && item) return item->Rename(&name);
        }
        return E_FAIL;
      },
      RPC_E_DISCONNECTED);
}

HRESULT CBusUiData::Search(const SSearchTerms& terms) {
  return OnWorker<HRESULT>(
      [terms](SSession& s) { return tarn::shell::ui::Send(*s.request, terms); },
      RPC_E_DISCONNECTED);
}

SLinkOutcome CBusUiData::AddLink(const std::string& text) {
  P2P::Protocol::SEd2kLink link;
  P2P::Protocol::SLinkError error;
  if (!P2P::Protocol::ReadEd2kLink(text, link, error))
    return {false, "This link cannot be read: " + error.Message()};
  if (link.kind == P2P::Protocol::ELinkKind::kServerList)
    return {false, "Server-list links are not taken here; add the servers one by one."};
  if (link.kind == P2P::Protocol::ELinkKind::kFile && link.size > static_cast<uint64_t>(INT32_MAX))
    return {false, "This file is larger than the 2 GiB the daemon's interface carries."};
  return OnWorker<SLinkOutcome>(
      [link](SSession& s) -> SLinkOutcome {
        if (link.kind == P2P::Protocol::ELinkKind::kServer) {
          const std::string address = link.host + ":" + std::to_string(link.port);
          const HRESULT hr = s.connection->AddServer(address);
          if (hr == S_FALSE) return {true, "The server " + address + " is already listed."};
          return {Succeeded(hr), Succeeded(hr)
                                     ? "Server " + address + " added."
                                     : "The daemon did not add the server " + address + "."};
        }
        const std::string hash = link.hash.ToHex();
        const HRESULT hr =
            s.manager->AddDownload(&hash, static_cast<int32_t>(link.size), std::nullopt, link.name);
        if (hr == S_FALSE) return {true, link.name + " is already downloading or shared."};
        if (!Succeeded(hr))
          return {false, "The daemon did not start the download of " + link.name + "."};
        return {true, "Downloading " + link.name + "."};
      },
      SLinkOutcome{false, "The TARN daemon is not reachable."});
}

bool CBusUiData::OpenSharedFile(uint32_t key) {
  const auto path = OnWorker<std::string>(
      [key](SSession& s) {
        std::shared_ptr<IP2PSharedFile> item;
        std::string full;
        if (Succeeded(s.shared->get_ItemByKey(static_cast<int32_t>(key), &item)) && item)
          item->get_FullPathName(&full);
        return full;
      },
      std::string());
  return !path.empty() && LaunchDetached({"xdg-open", path});
}

bool CBusUiData::OpenSharedFolder() {
  const auto path = OnWorker<std::string>(
      [](SSession& s) {
        std::string folder;
        s.config->get_SharedPath(&folder);
        return folder;
      },
      std::string());
  return !path.empty() && LaunchDetached({"xdg-open", path});
}

}  // namespace tarn::shell::ui
