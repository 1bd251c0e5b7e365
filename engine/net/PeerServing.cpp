#include "engine/net/PeerServing.h"

#include <algorithm>
#include <vector>

#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "framework/CriticalSection.h"

namespace P2P {

using namespace Protocol;

namespace {

// Bytes read and queued per step, one block: the socket buffer holds the next ones while the
// peer reads. Smaller steps cost a file read, a packing probe and a pass of the loop each.
constexpr uint32_t kServeSlice = kMaxTransferBlockLength;
// The send queue length below which the next slice is read.
constexpr size_t kSendQueueLow = 2 * kServeSlice;

}  // namespace

CTARNNetPeerServing::CTARNNetPeerServing(CPeerSessionContext& context, ITARNNetPeerLink& link,
                                         Client::CClientPtr client)
    : context_(context), link_(link), client_(std::move(client)) {}

_tagStructUploadPeer CTARNNetPeerServing::UploadPeer() const {
  const Protocol::_tagStructPeerIdentity identity = client_->GetIdentity();
  _tagStructUploadPeer peer;
  peer.userHash = identity.userHash;
  peer.address = link_.RemoteAddress();
  peer.udpPort = identity.udpPort;
  peer.tcpPort = identity.tcpPort;
  peer.compressionVersion = CompressionVersion(client_->GetCapabilities());
  return peer;
}

bool CTARNNetPeerServing::AdmitUpload(const _tagUnionHash& file) {
  CTARNNetUploadService* service = context_.uploads;
  if (service == nullptr) return link_.SendPacket(kProtocolEDonkey, kOpAcceptUploadRequest);
  const _tagStructUploadPeer peer = UploadPeer();
  _tagUnionHash previous;
  bool otherUser = false;
  {
    OSTREL::Process::CLock guard(serveLock_);
    otherUser = uploadRegistered_ && !(servedUser_ == peer.userHash);
    previous = servedUser_;
    if (!(file == uploadFile_)) EndSlotLocked();
    uploadFile_ = file;
    servedUser_ = peer.userHash;
    uploadRegistered_ = true;
  }
  // A client that said hello again under another user hash leaves that user without a
  // session: were it still thought connected, it could be called to a slot nobody uses.
  if (otherUser && context_.served.Unregister(this))
    context_.served.Deliver(service->OnSessionClosed(previous));
  context_.served.Register(peer.userHash, this);
  const bool holding = service->Scheduler().IsUploading(peer.userHash);
  Client::EUploadAdmission admission = Client::EUploadAdmission::kQueueFull;
  const std::vector<uint8_t> answer = service->OnStartUploadRequest(peer, file, &admission);
  if (!holding && admission == Client::EUploadAdmission::kGranted) {
    OSTREL::Process::CLock guard(serveLock_);
    EndSlotLocked();  // a slot starts: every range may go out once in it
  }
  // A full queue gets no answer; the client asks again later.
  return answer.empty() || link_.Send(answer);
}

void CTARNNetPeerServing::QueueServeRanges(const _tagUnionHash& file,
                                           const RequestRecord& request) {
  {
    OSTREL::Process::CLock guard(serveLock_);
    // Asking for another file drops what was owed of the last one.
    if (!(file == uploadFile_)) EndSlotLocked();
    uploadFile_ = file;
    // Downloaders repeat the ranges still owed to them with each new request: only what this
    // slot has neither queued nor sent goes out, a range new in part trimmed to that part.
    for (size_t i = 0; i < RequestRecord::kPairs; ++i) {
      if (!request.UsedPair(i)) continue;
      for (const auto& [start, end] : booked_.TakeNew(request.start[i], request.end[i])) {
        if (servePending_.size() < kMaxServeRanges)
          servePending_.push_back({start, end});
        else
          booked_.Unbook(start, end);  // not queued: asked again, it goes out then
      }
    }
  }
  PumpUpload();
}

void CTARNNetPeerServing::EndSlotLocked() {
  servePending_.clear();
  booked_.Clear();
}

void CTARNNetPeerServing::DropPendingLocked() {
  for (const auto& [start, end] : servePending_) booked_.Unbook(start, end);
  servePending_.clear();
}

void CTARNNetPeerServing::OnCalledBack(const _tagUnionHash& user, const _tagUnionHash& file) {
  CTARNNetUploadService* service = context_.uploads;
  if (service == nullptr) return;
  // Someone else at that address: the slot is not theirs.
  if (client_->GetIdentity().userHash != user) {
    link_.Close();
    return;
  }
  {
    OSTREL::Process::CLock guard(serveLock_);
    EndSlotLocked();
    uploadFile_ = file;
    servedUser_ = user;
    uploadRegistered_ = true;
  }
  context_.served.Register(user, this);
  context_.served.Deliver(service->OnSessionOpened(user));
  link_.SendPacket(kProtocolEDonkey, kOpAcceptUploadRequest);
}

void CTARNNetPeerServing::OnUploadCalled() {
  {
    OSTREL::Process::CLock guard(serveLock_);
    EndSlotLocked();
  }
  link_.SendPacket(kProtocolEDonkey, kOpAcceptUploadRequest);
}

void CTARNNetPeerServing::OnUploadRotated() {
  CTARNNetUploadService* service = context_.uploads;
  {
    OSTREL::Process::CLock guard(serveLock_);
    EndSlotLocked();
  }
  if (service != nullptr && client_) link_.Send(service->QueueRankPacket(UploadPeer().userHash));
}

void CTARNNetPeerServing::PumpUpload() {
  // One pump at a time. A call that finds another pumping leaves it a note, and the pumping
  // thread goes round once more: a resume that arrives while the last slice is being sent is
  // not lost.
  pumpWanted_.store(true);
  while (pumpWanted_.load()) {
    if (!pumpLock_.try_lock()) return;
    pumpWanted_.store(false);
    PumpLocked();
    pumpLock_.unlock();
  }
}

void CTARNNetPeerServing::PumpLocked() {
  CTARNNetUploadService* service = context_.uploads;
  if (service == nullptr || !client_) return;
  OSTREL::Process::CLock guard(serveLock_);
  const _tagStructUploadPeer peer = UploadPeer();
  std::vector<uint8_t> out;
  while (!servePending_.empty() && link_.IsOpen() && link_.QueuedSendBytes() < kSendQueueLow) {
    auto& range = servePending_.front();
    RequestRecord slice;
    slice.start[0] = range.first;
    slice.end[0] = std::min(range.second, range.first + kServeSlice);
    out.clear();
    const _tagStructUploadServeResult result = service->Serve(peer, uploadFile_, slice, 0, out);
    if (!out.empty() && !link_.Send(out)) return;
    switch (result.status) {
      case EUploadServe::kServed:
      case EUploadServe::kSlotUsedUp:
        range.first = slice.end[0];
        if (range.first >= range.second) servePending_.pop_front();
        if (result.status == EUploadServe::kSlotUsedUp) {
          // The next pass rotates the slot or starts a new term; either way this resumes.
          context_.served.MarkWaiting(this);
          return;
        }
        break;
      case EUploadServe::kRateLimited:
        context_.served.MarkWaiting(this);
        service->ResumeAfter(std::max<uint32_t>(result.waitMs, 1));
        return;
      case EUploadServe::kNotUploading:
        EndSlotLocked();
        link_.Send(service->QueueRankPacket(peer.userHash));
        return;
      case EUploadServe::kRefused:
        DropPendingLocked();
        link_.SendPacket(kProtocolEDonkey, kOpOutOfPartRequests);
        return;
    }
  }
}

bool CTARNNetPeerServing::Rebind(Client::CClientPtr client) {
  OSTREL::Process::CLock guard(serveLock_);
  if (uploadRegistered_) return false;
  client_ = std::move(client);
  return true;
}

void CTARNNetPeerServing::End() {
  CTARNNetUploadService* service = context_.uploads;
  bool registered = false;
  _tagUnionHash user;
  {
    OSTREL::Process::CLock guard(serveLock_);
    registered = uploadRegistered_;
    user = servedUser_;
    uploadRegistered_ = false;
    EndSlotLocked();
  }
  // Only the user's current session speaks for it: an older one closing late must not take
  // the slot of a client that has reconnected.
  const bool current = context_.served.Unregister(this);
  if (service == nullptr || !registered || !current) return;
  // The slot it held goes to the next client now, not at the next pass.
  context_.served.Deliver(service->OnSessionClosed(user));
}

bool CTARNNetPeerServing::FinishServedUpload(const _tagUnionHash& file) {
  CTARNNetUploadService* service = context_.uploads;
  _tagUnionHash user;
  {
    OSTREL::Process::CLock guard(serveLock_);
    if (!uploadRegistered_ || !(file == uploadFile_)) return false;
    uploadRegistered_ = false;
    user = servedUser_;
    EndSlotLocked();
  }
  const bool current = context_.served.Unregister(this);
  if (service == nullptr || !current) return true;
  context_.served.Deliver(service->OnUploadFinished(user));
  return true;
}

}  // namespace P2P
