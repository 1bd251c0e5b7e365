// The page's data from a running tarnsvc: the desktop side's three mirrors hold the lists the
// folders show (every change they tell moves the page's counters), the completion prompt
// follows the download mirror, and a bus worker of this class's own runs the page's calls
// one at a time, follows the search request and reads the server connection every second
// for the status bar. When the daemon goes away the mirrors empty and the page is told; when
// it comes back they load again. Every IUiData method may be called from any thread; Start
// and Stop from the one that owns the object.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "framework/CriticalSection.h"
#include "shell/CompletionPrompt.h"
#include "shell/Mirrors.h"
#include "shell/ui/EventHub.h"
#include "shell/ui/UiData.h"

namespace tarn::shell::ui {

class CMirrorUiData final : public IUiData {
 public:
  // Each mirror and the worker make their own client of the daemon's bus with `connect`; the
  // prompt's notifications go to the user's session bus, wherever the daemon runs.
  // "Download Complete Alert" is read from the registry in `registryFolder`.
  CMirrorUiData(CBusWorker::Connect connect, CEventHub& hub,
                const std::filesystem::path& registryFolder);
  ~CMirrorUiData() override;  // Stop()

  // Loads the lists (starting the daemon through the bus when it can) and follows them; a
  // completion that no notification server showed goes to `unshownPrompt`.
  void Start(CCompletionPrompt::Unshown unshownPrompt);
  void Stop();

  Snapshot<SDownloadRecord> Downloads() override;
  Snapshot<SSharedFileRecord> SharedFiles() override;
  Snapshot<SSearchResultRecord> Results() override;
  bool DaemonReachable() override;
  SStatusBar Status() override;
  ESearchState SearchState() override { return searchState_; }

  std::optional<SItemDetails> Details(EFolder folder, uint32_t key) override;
  OSTREL::COM::HRESULT Verb(uint32_t downloadKey, EDownloadVerb verb) override;
  OSTREL::COM::HRESULT Download(uint32_t resultKey) override;
  OSTREL::COM::HRESULT Rename(EFolder folder, uint32_t key, const std::string& name) override;
  OSTREL::COM::HRESULT Search(const SSearchTerms& terms) override;
  SLinkOutcome AddLink(const std::string& link) override;
  bool OpenSharedFile(uint32_t key) override;
  bool AnswerCompletion(const std::string& fullPath, bool open, bool never) override;

 private:
  struct SSession;  // the daemon's objects the worker holds while it answers
  class CSearchSink;

  // A mirror's snapshot as the page reads it: made once per change of the list.
  template <typename Record>
  struct SCachedList {
    OSTREL::Process::CMutex lock;
    Snapshot<Record> snapshot GUARDED_BY(lock);
  };
  template <typename Mirror, typename Record>
  Snapshot<Record> Cached(Mirror& mirror, SCachedList<Record>& cache);
  template <typename Record>
  std::shared_ptr<IMirrorListenerT<Record>> Follow(SCachedList<Record>& cache, EChannel channel);
  void OnDaemonChange(EMirrorChange change);

  // Worker thread.
  SSession* Session();
  void DropSession();
  void PollStatus();
  void OnSearchStarted();
  void OnSearchNotify();
  // Runs `task` with the session on the worker; `fallback` while the daemon is away.
  template <typename R>
  R OnSession(std::function<R(SSession&)> task, R fallback);

  // The search shows as done once the results mirror holds what the daemon had found when
  // it said the search was sent. Any thread.
  void CheckSearchDone();

  CEventHub& hub_;
  CTARNDownloadFileList downloads_;
  CTARNSharedFileList shared_;
  CTARNSearchResultFileList results_;
  SCachedList<SDownloadRecord> downloadsCache_;
  SCachedList<SSharedFileRecord> sharedCache_;
  SCachedList<SSearchResultRecord> resultsCache_;

  std::atomic<ESearchState> searchState_{ESearchState::kIdle};
  std::atomic<int64_t> resultsWhenSent_{-1};  // -1: the search was not sent yet
  OSTREL::Process::CMutex statusLock_;
  SStatusBar status_ GUARDED_BY(statusLock_);

  std::unique_ptr<SSession> session_;  // worker thread only
  CBusWorker worker_;
  // Made by Start, after the members its callback uses.
  std::unique_ptr<CCompletionPrompt> prompt_;
  std::filesystem::path registryFolder_;

  // Wakes the worker each second to read the status bar's figures.
  OSTREL::Process::CMutex tickLock_;
  OSTREL::Process::CConditionVariable tickWake_;
  bool stopping_ GUARDED_BY(tickLock_) = false;
  std::thread ticker_;
};

}  // namespace tarn::shell::ui
