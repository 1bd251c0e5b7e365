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
#include <optional>
#include <span>
#include <utility>

#include "engine/net/PeerLink.h"
#include "engine/net/PeerSessionContext.h"
#include "engine/net/TARNNetUploadService.h"
#include "engine/peers/Client.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/PeerFileMessages.h"
#include "engine/transfer/RequestRecord.h"
#include "engine/transfer/TransferFile.h"
#include "engine/upload/ServedRangeBook.h"
#include "framework/CriticalSection.h"

namespace P2P {

class CTARNNetPeerServing {
 public:
  // A file the remote client asked about, with the part status it sent of its own.
  struct SAskedFile {
    Shared::File::TransferFile::CTransferFilePtr file;
    Protocol::SAskerParts asker;
  };

  CTARNNetPeerServing(CPeerSessionContext& context, ITARNNetPeerLink& link,
                      Client::CClientPtr client);

  // The client is done with `file`: its slot or queue place goes to the next one. True when
  // `file` is the one served.
  bool FinishServedUpload(const _tagUnionHash& file);
  // Sends more of the asked ranges while the send queue is short.
  void PumpUpload();
  // The scheduler gave the client a slot: the accept-upload packet, then the data it asks.
  void OnUploadCalled();
  // We called the client back for the slot the scheduler gave `user` (for `file`) and it said
  // who it is: the slot is its own when it is that user.
  void OnCalledBack(const _tagUnionHash& user, const _tagUnionHash& file);
  // The client's slot rotated: its queue rank goes out, its pending ranges are dropped.
  void OnUploadRotated();
  // Sending may go on (allowance back, or a slot's new term).
  void ResumeUpload() { PumpUpload(); }
  // Leaves the scheduler and the registry: the slot the client held goes to the next one now.
  void End();
  // The session belongs to `client` from now on; false (nothing changed) once the client
  // asked for an upload on it.
  bool Rebind(Client::CClientPtr client);

  // The packets of the serving side, as the session dispatches them (PeerServingAnswers.cpp).
  // A file name request (alone or in a multi-packet) records the asker as a source of the file
  // and tells the session what it holds.
  std::optional<SAskedFile> OnRequestFileName(std::span<const uint8_t> payload);
  void OnSetRequestedFile(std::span<const uint8_t> payload);
  void OnHashSetRequest(std::span<const uint8_t> payload);
  std::optional<SAskedFile> OnMultiPacket(std::span<const uint8_t> payload);
  // Sources are given once in 40 minutes per client and file.
  void OnRequestSources(std::span<const uint8_t> payload);
  // Previews we do not hand out; only an unknown file is answered.
  void OnUnansweredRequest(std::span<const uint8_t> payload);
  void OnStartUploadRequest(std::span<const uint8_t> payload);
  // `wide`: the 64-bit form (C5 0xA3).
  void OnRequestParts(std::span<const uint8_t> payload, bool wide);
  void OnAichFileHashRequest(std::span<const uint8_t> payload);
  void OnAichRequest(std::span<const uint8_t> payload);

  ITARNNetPeerLink& Link() { return link_; }

 private:
  using File = Shared::File::TransferFile::CTARNNetTransferFile;
  using FilePtr = Shared::File::TransferFile::CTransferFilePtr;
  using RequestRecord = Shared::File::TransferFile::_tagStructRequestRecord;

  _tagStructUploadPeer UploadPeer() const;
  // The client said in its hello that it takes files above kMaxSmallFileSize.
  bool TakesLargeFiles() const;
  // The file a request names, as KnownFileOr finds it; a large file is unknown to a client
  // that does not take large files.
  FilePtr AskedFile(std::span<const uint8_t> payload);
  void RecordAsker(File& file, const Protocol::SAskerParts& asker);
  // The source list for this client when it may have one now (SourceExchange.h).
  std::optional<std::vector<uint8_t>> SourcesForClient(File& file);
  // Accept, queue rank or nothing for a start-upload request of `file`.
  bool AdmitUpload(const _tagUnionHash& file);
  // Takes what is new of the used ranges of a checked request and starts sending it.
  void QueueServeRanges(const _tagUnionHash& file, const RequestRecord& request);
  void PumpLocked() REQUIRES(pumpLock_) EXCLUDES(serveLock_);
  // The slot ended: nothing more is owed and the next slot may send any range again.
  void EndSlotLocked() REQUIRES(serveLock_);
  // The owed ranges go unsent; the slot goes on.
  void DropPendingLocked() REQUIRES(serveLock_);

  CPeerSessionContext& context_;
  ITARNNetPeerLink& link_;
  Client::CClientPtr client_;
  // Held by the one thread pumping.
  OSTREL::Process::CMutex pumpLock_ ACQUIRED_BEFORE(serveLock_);
  std::atomic<bool> pumpWanted_{false};
  OSTREL::Process::CMutex serveLock_;
  // Asked [start, end), in order.
  std::deque<std::pair<uint64_t, uint64_t>> servePending_ GUARDED_BY(serveLock_);
  // The file the served ranges belong to.
  _tagUnionHash uploadFile_ GUARDED_BY(serveLock_){};
  // What the current slot queued or sent of uploadFile_, so that a range asked again is not.
  Shared::File::TransferFile::CTARNNetServedRangeBook booked_ GUARDED_BY(serveLock_){
      Protocol::kMaxServeBookedRanges};
  // The user the scheduler knows this session's client as, and whether it knows it.
  _tagUnionHash servedUser_ GUARDED_BY(serveLock_){};
  bool uploadRegistered_ GUARDED_BY(serveLock_) = false;
};

}  // namespace P2P
