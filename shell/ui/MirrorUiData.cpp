#include "shell/ui/MirrorUiData.h"

#include <sstream>

#include "platform/ProgramRunner.h"
#include "service/automation/P2PConnection.h"
#include "shell/ProtocolHandler.h"
#include "shell/ShellCommands.h"
#include "shell/ui/ItemDetails.h"

namespace tarn::shell::ui {
namespace {

using namespace OSTREL::COM;

constexpr auto kStatusPause = std::chrono::seconds(1);

}  // namespace

// Only the search's start and its end are followed; the results come through their mirror.
class CMirrorUiData::CSearchSink final : public _IP2PSearchRequestEvents {
 public:
  explicit CSearchSink(CMirrorUiData& owner) : owner_(owner) {}
  void OnSearchStarted() override { owner_.OnSearchStarted(); }
  void OnSearchNotify() override { owner_.OnSearchNotify(); }

 private:
  CMirrorUiData& owner_;
};

struct CMirrorUiData::SSession {
  std::shared_ptr<IP2PServiceManager> manager;
  std::shared_ptr<IP2PConnection> connection;
  std::shared_ptr<IP2PDownloadFileList> downloads;
  std::shared_ptr<IP2PSharedFileList> shared;
  std::shared_ptr<IP2PSearchResultFileList> results;
  std::shared_ptr<IP2PSearchRequest> request;
  std::shared_ptr<CSearchSink> sink;
  uint32_t cookie = 0;
};

CMirrorUiData::CMirrorUiData(CBusWorker::Connect connect, CEventHub& hub,
                             const std::filesystem::path& registryFolder)
    : hub_(hub),
      downloads_(connect),
      shared_(connect),
      results_(connect),
      worker_(connect),
      registryFolder_(registryFolder) {}

CMirrorUiData::~CMirrorUiData() { Stop(); }

void CMirrorUiData::Start(CCompletionPrompt::Unshown unshownPrompt) {
  prompt_ = std::make_unique<CCompletionPrompt>(
      registryFolder_, [] { return CApiClient::ForSessionBus(); }, std::move(unshownPrompt));
  downloads_.AddListener(Follow(downloadsCache_, EChannel::kDownloads));
  shared_.AddListener(Follow(sharedCache_, EChannel::kShared));
  results_.AddListener(Follow(resultsCache_, EChannel::kResults));
  // Owned here, so that Stop ends it: the mirror holds it by a non-owning alias.
  downloads_.AddListener(
      std::shared_ptr<CCompletionPrompt>(std::shared_ptr<void>(), prompt_.get()));
  downloads_.Start();
  shared_.Start();
  results_.Start();
  hub_.Touch(EChannel::kDaemon);
  ticker_ = std::thread([this] {
    OSTREL::Process::CLock guard(tickLock_);
    while (!stopping_) {
      const auto wake = std::chrono::steady_clock::now() + kStatusPause;
      while (!stopping_ && std::chrono::steady_clock::now() < wake)
        tickWake_.WaitUntil(tickLock_, wake);
      if (!stopping_) worker_.Post([this] { PollStatus(); });
    }
  });
}

void CMirrorUiData::Stop() {
  {
    OSTREL::Process::CLock guard(tickLock_);
    stopping_ = true;
  }
  tickWake_.NotifyAll();
  if (ticker_.joinable()) ticker_.join();
  downloads_.Stop();
  shared_.Stop();
  results_.Stop();
  if (prompt_) downloads_.RemoveListener(prompt_.get());
  prompt_.reset();
  worker_.Stop([this] { DropSession(); });
}

template <typename Mirror, typename Record>
Snapshot<Record> CMirrorUiData::Cached(Mirror& mirror, SCachedList<Record>& cache) {
  OSTREL::Process::CLock guard(cache.lock);
  if (!cache.snapshot)
    cache.snapshot = std::make_shared<const std::vector<Record>>(mirror.Snapshot());
  return cache.snapshot;
}

template <typename Record>
std::shared_ptr<IMirrorListenerT<Record>> CMirrorUiData::Follow(SCachedList<Record>& cache,
                                                                EChannel channel) {
  return std::make_shared<CMirrorListenerFn<Record>>(
      [this, &cache, channel](EMirrorChange change, const Record*) {
        {
          OSTREL::Process::CLock guard(cache.lock);
          cache.snapshot.reset();
        }
        hub_.Touch(channel);
        if (channel == EChannel::kResults) CheckSearchDone();
        if (change == EMirrorChange::kReloaded || change == EMirrorChange::kDisconnected)
          OnDaemonChange(change);
      });
}

// The daemon went or came back: the worker lets go of its objects (and takes them anew, with
// the search request advised, on its next call).
void CMirrorUiData::OnDaemonChange(EMirrorChange change) {
  worker_.Post([this, change] {
    DropSession();
    if (change == EMirrorChange::kReloaded) {
      Session();
    } else {
      searchState_ = ESearchState::kIdle;
      OSTREL::Process::CLock guard(statusLock_);
      status_ = {};
    }
    for (EChannel c : {EChannel::kDaemon, EChannel::kStatus, EChannel::kSearch}) hub_.Touch(c);
  });
}

Snapshot<SDownloadRecord> CMirrorUiData::Downloads() { return Cached(downloads_, downloadsCache_); }
Snapshot<SSharedFileRecord> CMirrorUiData::SharedFiles() { return Cached(shared_, sharedCache_); }
Snapshot<SSearchResultRecord> CMirrorUiData::Results() { return Cached(results_, resultsCache_); }

bool CMirrorUiData::DaemonReachable() {
  return downloads_.Online() && shared_.Online() && results_.Online();
}

SStatusBar CMirrorUiData::Status() {
  OSTREL::Process::CLock guard(statusLock_);
  return status_;
}

CMirrorUiData::SSession* CMirrorUiData::Session() {
  if (session_) return session_.get();
  auto* client = worker_.Client();
  if (client == nullptr) return nullptr;
  auto session = std::make_unique<SSession>();
  session->manager = client->ServiceManager();
  session->connection = client->ServerConnection();
  if (!session->manager || !session->connection ||
      !Succeeded(session->manager->get_DownloadFileList(&session->downloads)) ||
      !Succeeded(session->manager->get_SharedFileList(&session->shared)) ||
      !Succeeded(session->manager->get_SearchResultFileList(&session->results)) ||
      !Succeeded(session->manager->get_SearchRequest(&session->request)) || !session->downloads ||
      !session->shared || !session->results || !session->request)
    return nullptr;
  session->sink = std::make_shared<CSearchSink>(*this);
  if (!Succeeded(session->request->Advise(session->sink, &session->cookie))) session->cookie = 0;
  session_ = std::move(session);
  return session_.get();
}

void CMirrorUiData::DropSession() {
  if (session_ && session_->cookie != 0) session_->request->Unadvise(session_->cookie);
  session_.reset();
}

template <typename R>
R CMirrorUiData::OnSession(std::function<R(SSession&)> task, R fallback) {
  return worker_.Call([this, &task, &fallback]() -> R {
    SSession* session = Session();
    return session != nullptr ? task(*session) : fallback;
  });
}

void CMirrorUiData::PollStatus() {
  SSession* session = DaemonReachable() ? Session() : nullptr;
  SConnectionState connection;
  STransferTotals totals;
  SStatusBar status;
  if (session != nullptr && Succeeded(session->connection->GetConnectionState(&connection)) &&
      Succeeded(session->connection->GetTransferTotals(&totals))) {
    status.connected = connection.connected;
    status.serverName = connection.name;
    status.serverAddress = connection.address;
    status.lowId = connection.lowId;
    status.users = connection.users;
    status.files = connection.files;
    status.uploadRate = totals.uploadRate;
    status.downloadRate = totals.downloadRate;
  }
  {
    OSTREL::Process::CLock guard(statusLock_);
    status_ = status;
  }
  hub_.Touch(EChannel::kStatus);
}

void CMirrorUiData::OnSearchStarted() {
  resultsWhenSent_ = -1;
  searchState_ = ESearchState::kSearching;
  hub_.Touch(EChannel::kSearch);
}

// Late answers may still come; the search shows as done with what was found by now.
void CMirrorUiData::OnSearchNotify() {
  int32_t count = 0;
  if (!session_ || !Succeeded(session_->results->get_Count(&count))) count = 0;
  resultsWhenSent_ = count;
  CheckSearchDone();
}

void CMirrorUiData::CheckSearchDone() {
  const int64_t wanted = resultsWhenSent_;
  if (wanted < 0 || static_cast<int64_t>(results_.Count()) < wanted) return;
  ESearchState searching = ESearchState::kSearching;
  if (searchState_.compare_exchange_strong(searching, ESearchState::kDone))
    hub_.Touch(EChannel::kSearch);
}

std::optional<SItemDetails> CMirrorUiData::Details(EFolder folder, uint32_t key) {
  return OnSession<std::optional<SItemDetails>>(
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

HRESULT CMirrorUiData::Verb(uint32_t downloadKey, EDownloadVerb verb) {
  return OnSession<HRESULT>(
      [downloadKey, verb](SSession& s) {
        std::shared_ptr<IP2PDownloadFile> item;
        const HRESULT hr = s.downloads->get_ItemByKey(static_cast<int32_t>(downloadKey), &item);
        if (!Succeeded(hr) || !item) return Succeeded(hr) ? E_FAIL : hr;
        switch (verb) {
          case EDownloadVerb::kPause:
            return item->Pause();
          case EDownloadVerb::kStop:
            return item->Stop();
          case EDownloadVerb::kResume:
            return item->Resume();
          case EDownloadVerb::kCancel:
            return item->Cancel();
        }
        return E_FAIL;
      },
      RPC_E_DISCONNECTED);
}

HRESULT CMirrorUiData::Download(uint32_t resultKey) {
  return OnSession<HRESULT>(
      [resultKey](SSession& s) {
        return s.results->Download(static_cast<int32_t>(resultKey), std::nullopt, std::nullopt);
      },
      RPC_E_DISCONNECTED);
}

HRESULT CMirrorUiData::Rename(EFolder folder, uint32_t key, const std::string& name) {
  if (folder == EFolder::kIncoming) return downloads_.Rename(key, name);
  if (folder == EFolder::kShared) return shared_.Rename(key, name);
  return E_FAIL;
}

HRESULT CMirrorUiData::Search(const SSearchTerms& terms) {
  return OnSession<HRESULT>(
      [this, &terms](SSession& s) {
        const HRESULT hr = tarn::shell::ui::Send(*s.request, terms);
        // Shown at once, before the daemon's event says so.
        if (Succeeded(hr)) OnSearchStarted();
        return hr;
      },
      RPC_E_DISCONNECTED);
}

// The same reader and calls as a clicked link; the page shows the outcome instead of a
// notification.
SLinkOutcome CMirrorUiData::AddLink(const std::string& link) {
  return worker_.Call([this, &link] {
    std::ostringstream discarded;
    CProtocolHandler handler(worker_.Client(), nullptr, discarded);
    const int status = handler.Handle(UnescapeBrowserLink(link));
    return SLinkOutcome{status == kExitOk, handler.Outcome()};
  });
}

bool CMirrorUiData::OpenSharedFile(uint32_t key) {
  const auto file = shared_.Find(key);
  return file && !file->fullPath.empty() &&
         OSTREL::Platform::StartProgram({"xdg-open", file->fullPath});
}

bool CMirrorUiData::AnswerCompletion(const std::string& fullPath, bool open, bool never) {
  if (!prompt_) return false;
  if (never) prompt_->NeverAgain();
  return open && prompt_->OpenFolderOf(fullPath);
}

}  // namespace tarn::shell::ui
