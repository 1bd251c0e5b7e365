// The page's data taken from a running tarnsvc over the bus: one worker thread owns the bus
// client, follows the lists' events, reads a list again when it changed (at most a few times
// a second), polls the server connection every second, and runs the page's calls one at a
// time. When the daemon goes away the lists empty and the page is told; when it comes back
// (started again or by bus activation) everything is read afresh.
// A stand-in for the desktop side's list copies, which will feed the page the same way. Every
// IUiData method may be called from any thread; the bus is only touched on the worker.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Registry.h"
#include "service/client/ApiClient.h"
#include "shell/ui/EventHub.h"
#include "shell/ui/UiData.h"

namespace tarn::shell::ui {

class CBusUiData final : public IUiData {
 public:
  using Connect = std::function<std::unique_ptr<OSTREL::COM::CApiClient>()>;
  // Called on the worker when a download completed and the user wants to be told.
  using Completed = std::function<void(const std::string& fileName)>;

  CBusUiData(Connect connect, CEventHub& hub, OSTREL::Platform::CRegistry& registry,
             Completed completed);
  ~CBusUiData() override;  // Stop()
  void Stop();

  Snapshot<SDownloadRecord> Downloads() override;
  Snapshot<SSharedFileRecord> SharedFiles() override;
  Snapshot<SSearchResultRecord> Results() override;
  bool DaemonReachable() override { return reachable_; }
  SStatusBar Status() override;
  ESearchState SearchState() override { return searchState_; }

  std::optional<SItemDetails> Details(EFolder folder, uint32_t key) override;
  OSTREL::COM::HRESULT Verb(uint32_t downloadKey, EDownloadVerb verb) override;
  OSTREL::COM::HRESULT Download(uint32_t resultKey) override;
  OSTREL::COM::HRESULT Rename(EFolder folder, uint32_t key, const std::string& name) override;
  OSTREL::COM::HRESULT Search(const SSearchTerms& terms) override;
  SLinkOutcome AddLink(const std::string& link) override;
  bool OpenSharedFile(uint32_t key) override;
  bool OpenSharedFolder() override;

 private:
  struct SSession;  // what the worker holds while the daemon answers
  class CSinks;

  void Loop(Connect connect);
  bool OpenSession(OSTREL::COM::CApiClient& client);
  void Disconnect();
  void ReloadDirty(bool force);
  void PollStatus();
  // Tells of the downloads among `gone` that completed rather than were cancelled.
  void NoticeCompletions(const std::vector<SDownloadRecord>& gone);
  // Runs `task` on the worker with the session and waits for its answer; `fallback` when
  // the daemon is not reachable or the worker stopped.
  template <typename R>
  R OnWorker(std::function<R(SSession&)> task, R fallback);

  CEventHub& hub_;
  OSTREL::Platform::CRegistry& registry_;
  Completed completed_;

  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;  // guarded by lock_
  bool stopping_ = false;                    // guarded by lock_
  Snapshot<SDownloadRecord> downloads_;      // guarded by lock_
  Snapshot<SSharedFileRecord> shared_;       // guarded by lock_
  Snapshot<SSearchResultRecord> results_;    // guarded by lock_
  SStatusBar status_;                        // guarded by lock_

  std::atomic<bool> reachable_{false};
  std::atomic<ESearchState> searchState_{ESearchState::kIdle};
  std::atomic<bool> dirtyDownloads_{true}, dirtyShared_{true}, dirtyResults_{true};
  std::atomic<bool> searchEnded_{false};  // shown as done once the results are read again

  std::unique_ptr<SSession> session_;                // worker thread only
  std::unique_ptr<OSTREL::COM::CApiClient> client_;  // worker thread only
  std::thread thread_;
};

}  // namespace tarn::shell::ui
