// The serving side of a peer session: answers about the files we hold (name, part status, hash
// set, AICH data), start-upload requests through the engine's upload service, and the asked
// ranges, sent a slice at a time while the connection's send queue stays short, the rest as it
// drains. The session context's registry finds it by the user it serves when the scheduler
// calls or rotates that user, and resumes it when sending may go on. Built by its session with
// the session's context, connection and client record, and testable on its own with any
// connection. Packets arrive on the session's thread; the scheduler's calls and resumes come
// from the engine's timer and pacer threads, so the serving state has its own locks.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <utility>

#include "engine/net/PeerLink.h"
#include "engine/net/PeerSessionContext.h"
#include "engine/net/TARNNetUploadService.h"
#include "engine/peers/Client.h"
#include "engine/transfer/RequestRecord.h"
#include "engine/transfer/TransferFile.h"
#include "framework/CriticalSection.h"

namespace P2P {

class CTARNNetPeerServing {
 public:
  CTARNNetPeerServing(CPeerSessionContext& context, ITARNNetPeerLink& link,
                      Client::CClientPtr client);

  // The client is done with `file`: its slot or queue place goes to the next one. True when
  // `file` is the one served.
  bool FinishServedUpload(const _tagUnionHash& file);
  // Sends more of the asked ranges while the send queue is short.
  void PumpUpload();
  // The scheduler gave the client a slot: the accept-upload packet, then the data it asks.
  void OnUploadCalled();
  // The client's slot rotated: its queue rank goes out, its pending ranges are dropped.
  void OnUploadRotated();
  // Sending may go on (allowance back, or a slot's new term).
  void ResumeUpload() { PumpUpload(); }
  // Leaves the scheduler and the registry: the slot the client held goes to the next one now.
  void End();

  // The packets of the serving side, as the session dispatches them (PeerServingAnswers.cpp).
  void OnRequestFileName(std::span<const uint8_t> payload);
  void OnSetRequestedFile(std::span<const uint8_t> payload);
  void OnHashSetRequest(std::span<const uint8_t> payload);
  void OnMultiPacket(std::span<const uint8_t> payload);
  // Sources and previews we do not hand out; only an unknown file is answered.
  void OnUnansweredRequest(std::span<const uint8_t> payload);
  void OnStartUploadRequest(std::span<const uint8_t> payload);
  void OnRequestParts(std::span<const uint8_t> payload);
  void OnAichFileHashRequest(std::span<const uint8_t> payload);
  void OnAichRequest(std::span<const uint8_t> payload);

  ITARNNetPeerLink& Link() { return link_; }

 private:
  using File = Shared::File::TransferFile::CTARNNetTransferFile;
  using FilePtr = Shared::File::TransferFile::CTransferFilePtr;
  using RequestRecord = Shared::File::TransferFile::_tagStructRequestRecord;

  _tagStructUploadPeer UploadPeer() const;
  // Accept, queue rank or nothing for a start-upload request of `file`.
  bool AdmitUpload(const _tagUnionHash& file);
  // Takes the used ranges of a checked request and starts sending them.
  void QueueServeRanges(const _tagUnionHash& file, const RequestRecord& request);
  void PumpLocked() REQUIRES(pumpLock_) EXCLUDES(serveLock_);

  CPeerSessionContext& context_;
  ITARNNetPeerLink& link_;
  Client::CClientPtr client_;
  // Held by the one thread pumping.
  OSTREL::Process::CMutex pumpLock_ ACQUIRED_BEFORE(serveLock_);
  std::atomic<bool> pumpWanted_{false};
  OSTREL::Process::CMutex serveLock_;
  // Asked [start, end), in order.
  std::deque<std::pair<uint32_t, uint32_t>> servePending_ GUARDED_BY(serveLock_);
  // The file the served ranges belong to.
  _tagUnionHash uploadFile_ GUARDED_BY(serveLock_){};
  // The user the scheduler knows this session's client as, and whether it knows it.
  _tagUnionHash servedUser_ GUARDED_BY(serveLock_){};
  bool uploadRegistered_ GUARDED_BY(serveLock_) = false;
};

}  // namespace P2P
