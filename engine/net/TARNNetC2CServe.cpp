// The serving half of a peer session: start-upload requests go through the engine's upload
// service, asked ranges are sent a slice at a time while the socket's send queue stays short,
// and the rest follows as the socket drains. Split from TARNNetC2CTCPConnecter.cpp.
#include <algorithm>
#include <mutex>
#include <vector>

#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/PeerMessages.h"

namespace P2P {

using namespace Protocol;

namespace {

// Bytes read and queued per step, one block: the socket buffer holds the next ones while the
// peer reads. Smaller steps cost a file read, a packing probe and a pass of the loop each.
constexpr uint32_t kServeSlice = kMaxTransferBlockLength;
// The send queue length below which the next slice is read.
constexpr size_t kSendQueueLow = 2 * kServeSlice;

}  // namespace

_tagStructUploadPeer CTARNNetC2CTCPConnecterT::UploadPeer() const {
  const Protocol::_tagStructPeerIdentity identity = client_->GetIdentity();
  _tagStructUploadPeer peer;
  peer.userHash = identity.userHash;
  peer.address = remoteAddress_;
  peer.udpPort = identity.udpPort;
  peer.compressionVersion = CompressionVersion(client_->GetCapabilities());
  return peer;
}

bool CTARNNetC2CTCPConnecterT::AdmitUpload(const _tagUnionHash& file) {
  CTARNNetUploadService* service = uploadService_.load();
  if (service == nullptr) return SendPacket(kProtocolEDonkey, kOpAcceptUploadRequest);
  const _tagStructUploadPeer peer = UploadPeer();
  {
    std::lock_guard guard(serveLock_);
    uploadFile_ = file;
    uploadRegistered_ = true;
  }
  RegisterServedSession(peer.userHash, this);
  const std::vector<uint8_t> answer = service->OnStartUploadRequest(peer, file);
  // A full queue gets no answer; the client asks again later.
  return answer.empty() || Send(answer);
}

void CTARNNetC2CTCPConnecterT::QueueServeRanges(const _tagUnionHash& file,
                                                const RequestRecord& request) {
  {
    std::lock_guard guard(serveLock_);
    // Asking for another file drops what was owed of the last one.
    if (!(file == uploadFile_)) servePending_.clear();
    uploadFile_ = file;
    for (size_t i = 0; i < RequestRecord::kPairs; ++i)
      if (request.UsedPair(i) && servePending_.size() < kMaxServeRanges)
        servePending_.push_back({request.start[i], request.end[i]});
  }
  PumpUpload();
}

void CTARNNetC2CTCPConnecterT::OnSend(int /*error*/) {
  Flush();
  PumpUpload();
}

void CTARNNetC2CTCPConnecterT::ResumeUpload() { PumpUpload(); }

void CTARNNetC2CTCPConnecterT::OnUploadCalled() {
  SendPacket(kProtocolEDonkey, kOpAcceptUploadRequest);
}

void CTARNNetC2CTCPConnecterT::OnUploadRotated() {
  CTARNNetUploadService* service = uploadService_.load();
  {
    std::lock_guard guard(serveLock_);
    servePending_.clear();
  }
  if (service != nullptr && client_) Send(service->QueueRankPacket(UploadPeer().userHash));
}

void CTARNNetC2CTCPConnecterT::PumpUpload() {
  CTARNNetUploadService* service = uploadService_.load();
  if (service == nullptr || !client_) return;
  // One pump at a time; whoever holds the lock sends what is due.
  std::unique_lock guard(serveLock_, std::try_to_lock);
  if (!guard.owns_lock()) return;
  const _tagStructUploadPeer peer = UploadPeer();
  std::vector<uint8_t> out;
  while (!servePending_.empty() && IsOpen() && QueuedSendBytes() < kSendQueueLow) {
    auto& range = servePending_.front();
    RequestRecord slice;
    slice.start[0] = range.first;
    slice.end[0] = std::min(range.second, range.first + kServeSlice);
    out.clear();
    const _tagStructUploadServeResult result = service->Serve(peer, uploadFile_, slice, 0, out);
    if (!out.empty() && !Send(out)) return;
    switch (result.status) {
      case EUploadServe::kServed:
      case EUploadServe::kSlotUsedUp:
        range.first = slice.end[0];
        if (range.first >= range.second) servePending_.pop_front();
        if (result.status == EUploadServe::kSlotUsedUp) return;  // the next pass rotates it
        break;
      case EUploadServe::kRateLimited:
        return;  // the engine's timer resumes it
      case EUploadServe::kNotUploading:
        servePending_.clear();
        Send(service->QueueRankPacket(peer.userHash));
        return;
      case EUploadServe::kRefused:
        servePending_.clear();
        SendPacket(kProtocolEDonkey, kOpOutOfPartRequests);
        return;
    }
  }
}

void CTARNNetC2CTCPConnecterT::EndUploadSide() {
  CTARNNetUploadService* service = uploadService_.load();
  bool registered = false;
  {
    std::lock_guard guard(serveLock_);
    registered = uploadRegistered_;
    uploadRegistered_ = false;
    servePending_.clear();
  }
  UnregisterServedSession(this);
  if (service != nullptr && registered && client_) service->OnSessionClosed(UploadPeer().userHash);
}

bool CTARNNetC2CTCPConnecterT::FinishServedUpload(const _tagUnionHash& file) {
  CTARNNetUploadService* service = uploadService_.load();
  {
    std::lock_guard guard(serveLock_);
    if (!uploadRegistered_ || !(file == uploadFile_)) return false;
    uploadRegistered_ = false;
    servePending_.clear();
  }
  UnregisterServedSession(this);
  if (service == nullptr || !client_) return true;
  const Client::_tagStructSchedulerEvents events = service->OnUploadFinished(UploadPeer().userHash);
  for (const _tagUnionHash& user : events.called)
    ForServedSession(user, [](CTARNNetC2CTCPConnecterT& session) { session.OnUploadCalled(); });
  return true;
}

// Sessions by the user hash of the client they serve, for the scheduler's calls and rotations.
namespace {
std::mutex servedLock;
std::vector<std::pair<_tagUnionHash, CTARNNetC2CTCPConnecterT*>> served;
}  // namespace

void CTARNNetC2CTCPConnecterT::RegisterServedSession(const _tagUnionHash& user,
                                                     CTARNNetC2CTCPConnecterT* session) {
  std::lock_guard guard(servedLock);
  for (auto& entry : served)
    if (entry.second == session) {
      entry.first = user;
      return;
    }
  served.emplace_back(user, session);
}

void CTARNNetC2CTCPConnecterT::UnregisterServedSession(CTARNNetC2CTCPConnecterT* session) {
  std::lock_guard guard(servedLock);
  std::erase_if(served, [session](const auto& entry) { return entry.second == session; });
}

void CTARNNetC2CTCPConnecterT::ForServedSession(
    const _tagUnionHash& user, const std::function<void(CTARNNetC2CTCPConnecterT&)>& action) {
  // The session stays alive while the action runs: it is held by a reference taken here. A
  // session whose last reference is gone is skipped; its destructor is about to unlist it.
  CTARNNetC2CTCPConnecterT* found = nullptr;
  {
    std::lock_guard guard(servedLock);
    for (const auto& entry : served)
      if (entry.first == user) {
        if (entry.second->TryAddRef()) found = entry.second;
        break;
      }
  }
  if (found == nullptr) return;
  action(*found);
  found->Release();
}

void CTARNNetC2CTCPConnecterT::ForEachServedSession(
    const std::function<void(CTARNNetC2CTCPConnecterT&)>& action) {
  std::vector<CTARNNetC2CTCPConnecterT*> sessions;
  {
    std::lock_guard guard(servedLock);
    for (const auto& entry : served)
      if (entry.second->TryAddRef()) sessions.push_back(entry.second);
  }
  for (CTARNNetC2CTCPConnecterT* session : sessions) {
    action(*session);
    session->Release();
  }
}

}  // namespace P2P
