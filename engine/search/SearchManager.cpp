#include "engine/search/SearchManager.h"

#include "engine/library/FileCategory.h"
#include "engine/protocol/Limits.h"
#include "engine/search/SearchExprManager.h"
#include "framework/CriticalSection.h"

namespace P2P {

using OSTREL::Process::WaitForEvents;

CTARNNetSearchManager::CTARNNetSearchManager() { results_.SetEventSink(this); }

CTARNNetSearchManager::~CTARNNetSearchManager() {
  Stop();
  results_.SetEventSink(nullptr);
}

void CTARNNetSearchManager::SetSenders(SSearchSenders senders) { senders_ = std::move(senders); }

void CTARNNetSearchManager::SetDownloadHandOver(DownloadHandOver handOver) {
  OSTREL::Process::CLock guard(searchLock_);
  handOver_ = std::move(handOver);
}

bool CTARNNetSearchManager::Start() {
  if (IsRunning()) return true;
  if (!stop_.IsValid() || !go_.IsValid() || !cancel_.IsValid()) return false;
  stop_.ResetEvent();
  return CThreadBase::Start();
}

bool CTARNNetSearchManager::Stop() {
  // The flag first: the walk may consume the stop event while pausing, and the loop then
  // still sees the flag.
  RequestStop();
  stop_.Set();
  return CThreadBase::Stop();
}

bool CTARNNetSearchManager::Search(const Params& params) {
  {
    OSTREL::Process::CLock guard(searchLock_);
    std::vector<uint8_t> body;
    auto* expressions = Shared::Search::SearchParam::CTARNNetSearchExprManager::GetInstance();
    if (!expressions || !expressions->BuildSearchBody(params, body, Protocol::kMaxSearchBodySize))
      return false;
    results_.BeginSearch(params.expression, Shared::File::CategoryFromTypeWord(params.fileType));
    body_ = std::move(body);
    ++generation_;
    cancel_.ResetEvent();
  }
  // Started before the thread can report the search sent.
  OnSearchStarted();
  go_.Set();
  return true;
}

CTARNNetSearchManager::ResultPtr CTARNNetSearchManager::AddAnswer(
    const Shared::_tagStructSharedFile& record) {
  return results_.AddFromRecord(record);
}

bool CTARNNetSearchManager::Download(uint32_t id) {
  const ResultPtr result = results_.FindById(id);
  if (!result) return false;
  DownloadHandOver handOver;
  {
    OSTREL::Process::CLock guard(searchLock_);
    handOver = handOver_;
  }
  return handOver && handOver(result->GetRecord());
}

uint32_t CTARNNetSearchManager::CompletedSends() const {
  OSTREL::Process::CLock guard(searchLock_);
  return completedSends_;
}

unsigned CTARNNetSearchManager::Run() {
  while (!IsStopping()) {
    // The stop event, or a failed wait, ends the thread.
    if (WaitForEvents({&stop_, &go_}) != 1) break;
    SendCurrentSearch();
  }
  return 0;
}

void CTARNNetSearchManager::SendCurrentSearch() {
  std::vector<uint8_t> body;
  uint64_t generation = 0;
  {
    OSTREL::Process::CLock guard(searchLock_);
    body = body_;
    generation = generation_;
  }
  const bool connected = senders_.isConnected && senders_.isConnected();
  if (connected && senders_.sendTcp) senders_.sendTcp(body);
  if (!WalkShouldEnd(generation)) WalkServers(body, generation, connected);
  {
    OSTREL::Process::CLock guard(searchLock_);
    ++completedSends_;
  }
  OnSearchNotify();
}

std::vector<CTARNNetSearchManager::SServerTarget> CTARNNetSearchManager::UdpTargets(
    bool connected) const {
  std::vector<SServerTarget> targets;
  if (servers_ == nullptr) return targets;
  const Remote::Server::_tagStructServerInfo* current =
      connected ? servers_->GetCurrentServer() : nullptr;
  const uint32_t currentAddress = current != nullptr ? current->address : 0;
  servers_->List().ForEach([&](Remote::Server::_tagStructServerInfo& server) {
    if (current == nullptr || server.address != currentAddress) {
      const uint32_t udpFlags = Remote::Server::LoadField(server.status.udpFlags);
      targets.push_back({server.address, server.port, (udpFlags & kUdpFlagSearch3) != 0});
    }
    return true;
  });
  return targets;
}

void CTARNNetSearchManager::WalkServers(std::span<const uint8_t> body, uint64_t generation,
                                        bool connected) {
  if (!senders_.sendUdp) return;
  // A copy of the list, so that the pauses hold no lock the sessions need.
  const std::vector<SServerTarget> targets = UdpTargets(connected);
  for (size_t i = 0; i < targets.size(); ++i) {
    senders_.sendUdp(targets[i].address, targets[i].port, body, targets[i].search3);
    if (i + 1 == targets.size()) break;  // nothing left to space out
    if (WaitForEvents({&stop_, &cancel_}, kServerPause) != OSTREL::Process::kWaitTimeout) break;
    if (WalkShouldEnd(generation)) break;
  }
}

bool CTARNNetSearchManager::WalkShouldEnd(uint64_t generation) const {
  if (IsStopping() || cancel_.IsSignalled() || stop_.IsSignalled()) return true;
  OSTREL::Process::CLock guard(searchLock_);
  return generation != generation_;
}

void CTARNNetSearchManager::OnSearchStarted() {
  FanOut(&ITARNNetP2PSearchEventHandler::OnSearchStarted);
}
void CTARNNetSearchManager::OnSearchResultAdded(const Shared::_tagStructSharedFile& file) {
  FanOut(&ITARNNetP2PSearchEventHandler::OnSearchResultAdded, file);
}
void CTARNNetSearchManager::OnSearchResultChanged(const Shared::_tagStructSharedFile& file) {
  FanOut(&ITARNNetP2PSearchEventHandler::OnSearchResultChanged, file);
}
void CTARNNetSearchManager::OnSearchNotify() {
  FanOut(&ITARNNetP2PSearchEventHandler::OnSearchNotify);
}

}  // namespace P2P
