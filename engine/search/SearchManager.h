// Runs one keyword search at a time: builds the search body from the request, sends it from
// its own thread to the connected server over TCP and then over UDP to every other known
// server (10 ms apart), and collects the answers into the result list, telling registered
// handlers about the search and its results. Search, CancelSearch and the result hand-over
// may be called from any thread; answers arrive on the server session threads.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "engine/base/EventAdvisor.h"
#include "engine/search/SearchEventHandler.h"
#include "engine/search/SearchParams.h"
#include "engine/search/SearchResultFileList.h"
#include "engine/servers/ServerManager.h"
#include "framework/CriticalSection.h"
#include "framework/Event.h"
#include "framework/Thread.h"

namespace P2P {

// How a search reaches the servers; filled in by the engine root from the server sessions. An
// empty function means that way is not there.
struct SSearchSenders {
  std::function<bool()> isConnected;
  // The search request over the server TCP session.
  std::function<bool(std::span<const uint8_t> body)> sendTcp;
  // A global search to the server at `address`:`port` (its TCP port), in the newer form
  // (0x92) when `search3`, else the older one (0x98).
  std::function<bool(uint32_t address, uint16_t port, std::span<const uint8_t> body, bool search3)>
      sendUdp;
};

class CTARNNetSearchManager : public OSTREL::Process::CThreadImpl<CTARNNetSearchManager>,
                              public ITARNNetP2PEventAdvisorT<ITARNNetP2PSearchEventHandler>,
                              protected ITARNNetP2PSearchEventHandler {
 public:
  using Params = Shared::Search::SearchParam::_tagStructSearchParams;
  using ResultList = Shared::File::SearchResultFile::CTARNNetSearchResultFileList;
  using ResultPtr = ResultList::FilePtr;
  // Makes a download of a result's record; until a download manager exists it is whatever the
  // engine root installs. False when refused.
  using DownloadHandOver = std::function<bool(const Shared::_tagStructSharedFile& record)>;

  // Pause between two servers of the UDP walk.
  static constexpr uint32_t kServerPause = 10;
  // A server whose UDP flags carry this bit takes the newer global search.
  static constexpr uint32_t kUdpFlagSearch3 = 0x02;

  CTARNNetSearchManager();
  ~CTARNNetSearchManager() override;

  // Before Start.
  void SetSenders(SSearchSenders senders);
  void SetServerManager(CTARNNetServerManager* servers) { servers_ = servers; }
  void SetDownloadHandOver(DownloadHandOver handOver);

  bool Start() override;
  bool Stop() override;

  // Builds the body; on failure (empty text, parse error) changes nothing and returns false.
  // Otherwise clears the results, keeps words and category, wakes the thread and raises
  // search started.
  bool Search(const Params& params);
  // Ends the UDP walk of the running search; answers are still taken until the next search.
  void CancelSearch() { cancel_.Set(); }
  bool IsSearchCancelled() const { return cancel_.IsSignalled(); }
  // No more results should be asked for: the manager is stopping or the search was cancelled.
  bool IsStopped() const { return IsStopping() || IsSearchCancelled(); }

  // One answer record from a server session (any thread). Null when dropped by the filters.
  ResultPtr AddAnswer(const Shared::_tagStructSharedFile& record);
  // Hands the result with `id` to the download side; false for an unknown id or no hand-over.
  bool Download(uint32_t id);

  ResultList& GetResultList() { return results_; }
  // Searches whose sending (TCP and UDP walk) has ended, for tests and statistics.
  uint32_t CompletedSends() const;

 protected:
  unsigned Run() override;

  // The advisor side: every handler, in registration order.
  void OnSearchStarted() override;
  void OnSearchResultAdded(const Shared::_tagStructSharedFile& file) override;
  void OnSearchResultChanged(const Shared::_tagStructSharedFile& file) override;
  void OnSearchNotify() override;

 private:
  struct SServerTarget {
    uint32_t address = 0;
    uint16_t port = 0;
    bool search3 = false;
  };

  void SendCurrentSearch();
  void WalkServers(std::span<const uint8_t> body, uint64_t generation, bool connected);
  std::vector<SServerTarget> UdpTargets(bool connected) const;
  // The walk of a search ends when it is cancelled, the manager stops or a newer search began.
  bool WalkShouldEnd(uint64_t generation) const;

  ResultList results_;
  CTARNNetServerManager* servers_ = nullptr;
  SSearchSenders senders_;
  DownloadHandOver handOver_;

  OSTREL::Process::CEvent stop_{OSTREL::Process::CEvent::Reset::kAuto};
  OSTREL::Process::CEvent go_{OSTREL::Process::CEvent::Reset::kAuto};
  OSTREL::Process::CEvent cancel_{OSTREL::Process::CEvent::Reset::kManual};

  mutable OSTREL::Process::CMutex searchLock_;  // body_, generation_, completedSends_, handOver_
  std::vector<uint8_t> body_ GUARDED_BY(searchLock_);
  uint64_t generation_ GUARDED_BY(searchLock_) = 0;
  uint32_t completedSends_ GUARDED_BY(searchLock_) = 0;
};

}  // namespace P2P
