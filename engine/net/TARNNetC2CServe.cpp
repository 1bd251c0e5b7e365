// The serving half of a peer session: start-upload requests go through the engine's upload
// service, asked ranges are sent a slice at a time while the socket's send queue stays short,
// and the rest follows as the socket drains. Split from TARNNetC2CTCPConnecter.cpp.
#include <algorithm>
#include <mutex>
#include <vector>

#include "engine/net/PausedReaderRegistry.h"
#include "engine/net/ServedSessionRegistry.h"
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
  _tagUnionHash previous;
  bool otherUser = false;
  {
    std::lock_guard guard(serveLock_);
    otherUser = uploadRegistered_ && !(servedUser_ == peer.userHash);
    previous = servedUser_;
    uploadFile_ = file;
    servedUser_ = peer.userHash;
    uploadRegistered_ = true;
  }
  // A client that said hello again under another user hash leaves that user without a
  // session: were it still thought connected, it could be called to a slot nobody uses.
  if (otherUser && ServedSessions().Unregister(this))
    OnSchedulerEvents(service->OnSessionClosed(previous));
  ServedSessions().Register(peer.userHash, this);
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
  // One pump at a time. A call that finds another pumping leaves it a note, and the pumping
  // thread goes round once more: a resume that arrives while the last slice is being sent is
  // not lost.
  pumpWanted_.store(true);
  while (pumpWanted_.load()) {
    std::unique_lock pumping(pumpLock_, std::try_to_lock);
    if (!pumping.owns_lock()) return;
    pumpWanted_.store(false);
    PumpLocked();
  }
}

void CTARNNetC2CTCPConnecterT::PumpLocked() {
  CTARNNetUploadService* service = uploadService_.load();
  if (service == nullptr || !client_) return;
  std::lock_guard guard(serveLock_);
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
        if (result.status == EUploadServe::kSlotUsedUp) {
          // The next pass rotates the slot or starts a new term; either way this resumes.
          ServedSessions().MarkWaiting(this);
          return;
        }
        break;
      case EUploadServe::kRateLimited:
        ServedSessions().MarkWaiting(this);
        service->ResumeAfter(std::max<uint32_t>(result.waitMs, 1));
        return;
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
  _tagUnionHash user;
  {
    std::lock_guard guard(serveLock_);
    registered = uploadRegistered_;
    user = servedUser_;
    uploadRegistered_ = false;
    servePending_.clear();
  }
  // Only the user's current session speaks for it: an older one closing late must not take
  // the slot of a client that has reconnected.
  const bool current = ServedSessions().Unregister(this);
  if (service == nullptr || !registered || !current) return;
  // The slot it held goes to the next client now, not at the next pass.
  OnSchedulerEvents(service->OnSessionClosed(user));
}

bool CTARNNetC2CTCPConnecterT::FinishServedUpload(const _tagUnionHash& file) {
  CTARNNetUploadService* service = uploadService_.load();
  _tagUnionHash user;
  {
    std::lock_guard guard(serveLock_);
    if (!uploadRegistered_ || !(file == uploadFile_)) return false;
    uploadRegistered_ = false;
    user = servedUser_;
    servePending_.clear();
  }
  const bool current = ServedSessions().Unregister(this);
  if (service == nullptr || !current) return true;
  OnSchedulerEvents(service->OnUploadFinished(user));
  return true;
}

CServedSessionRegistry& CTARNNetC2CTCPConnecterT::ServedSessions() {
  static CServedSessionRegistry registry;
  return registry;
}

void CTARNNetC2CTCPConnecterT::SetUploadService(CTARNNetUploadService* service) {
  if (service != nullptr) {
    service->SetResumeHook(&ResumeWaitingSessions);
    service->SetReadResumeHook(&ResumePausedReaders);
  }
  uploadService_.store(service);
}

void CTARNNetC2CTCPConnecterT::ForServedSession(
    const _tagUnionHash& user, const std::function<void(CTARNNetC2CTCPConnecterT&)>& action) {
  // Held by the reference Find took while the action runs.
  CTARNNetC2CTCPConnecterT* found = ServedSessions().Find(user);
  if (found == nullptr) return;
  action(*found);
  found->Release();
}

void CTARNNetC2CTCPConnecterT::OnSchedulerEvents(const Client::_tagStructSchedulerEvents& events) {
  for (const _tagUnionHash& user : events.called)
    ForServedSession(user, [](CTARNNetC2CTCPConnecterT& session) { session.OnUploadCalled(); });
  for (const _tagUnionHash& user : events.rotated)
    ForServedSession(user, [](CTARNNetC2CTCPConnecterT& session) { session.OnUploadRotated(); });
}

CPausedReaderRegistry& CTARNNetC2CTCPConnecterT::PausedReaders() {
  static CPausedReaderRegistry registry;
  return registry;
}

void CTARNNetC2CTCPConnecterT::ResumePausedReaders() {
  for (CTARNNetC2CTCPConnecterT* session : PausedReaders().TakeAll()) {
    session->PauseReceiving(false);
    session->Release();
  }
}

void CTARNNetC2CTCPConnecterT::ResumeWaitingSessions() {
  for (CTARNNetC2CTCPConnecterT* session : ServedSessions().TakeWaiting()) {
    session->ResumeUpload();
    session->Release();
  }
}

}  // namespace P2P
