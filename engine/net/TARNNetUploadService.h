// The upload side as one object the peer sessions and the peer UDP endpoint call: it admits
// start-upload requests through the slot scheduler, serves requested ranges (verified data
// only, within "Max Upload"), counts the bytes sent into the credit records, answers UDP
// reasks and runs the scheduler's periodic pass. It returns the bytes to send; it never touches a
// socket. The owner maps the user hashes of scheduler events to sessions. Any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "engine/base/ClientConfig.h"
#include "engine/base/Hash.h"
#include "engine/net/TARNNetRateLimiter.h"
#include "engine/net/TARNNetUploadPacer.h"
#include "engine/peers/UploadScheduler.h"
#include "engine/protocol/RecvUDPPacket.h"
#include "engine/transfer/RequestRecord.h"
#include "engine/upload/UploadBlockReader.h"

namespace P2P::Credit {
class CTARNNetClientCreditList;
}

namespace P2P {

// How the service reaches the credit records (the credit list in the engine).
struct _tagStructUploadCreditHooks {
  std::function<double(const _tagUnionHash&)> modifier;
  std::function<void(const _tagUnionHash&, uint64_t)> addUploaded;
};
_tagStructUploadCreditHooks CreditHooksOf(Credit::CTARNNetClientCreditList& credits);

// The remote client as its hello told us.
struct _tagStructUploadPeer {
  _tagUnionHash userHash;
  uint32_t address = 0;  // network byte order
  uint16_t udpPort = 0;
  uint16_t tcpPort = 0;             // where it listens, to call it back for its slot
  uint32_t compressionVersion = 0;  // from its capability word
};

enum class EUploadServe {
  kServed,        // every used range went out
  kNotUploading,  // holds no slot: send it its queue rank instead
  kSlotUsedUp,    // the slot's share is spent; the next pass rotates it
  kRateLimited,   // try again after `waitMs`; ranges from `served` on are still owed
  kRefused,       // a range could not be served (see `refusal`); nothing more of this request
};

struct _tagStructUploadServeResult {
  EUploadServe status = EUploadServe::kServed;
  size_t served = 0;  // ranges of the request that went out, in order
  uint64_t bytes = 0;
  uint32_t waitMs = 0;
  Shared::File::TransferFile::EUploadRead refusal = Shared::File::TransferFile::EUploadRead::kOk;
};

class CTARNNetUploadService {
 public:
  using FileLookup = Shared::File::TransferFile::CTARNNetUploadBlockReader::FileLookup;

  CTARNNetUploadService(FileLookup lookup, _tagStructUploadCreditHooks credits,
                        Client::_tagStructUploadSchedulerSettings settings = {});

  // Slots, queue cap and the upload rate from the configuration record.
  void ApplyConfig(const _tagStructClientConfig& config);

  // A start-upload request for a file we have: accept-upload (E3 0x55) when a slot is given,
  // the queue rank (C5 0x60) when it waits, nothing when the queue is full.
  std::vector<uint8_t> OnStartUploadRequest(const _tagStructUploadPeer& peer,
                                            const _tagUnionHash& file,
                                            Client::EUploadAdmission* admission = nullptr);
  // Serves the used ranges of `request` from `from` on, appending packets to `out`.
  _tagStructUploadServeResult Serve(
      const _tagStructUploadPeer& peer, const _tagUnionHash& file,
      const Shared::File::TransferFile::_tagStructRequestRecord& request, size_t from,
      std::vector<uint8_t>& out);
  // The datagram answering a UDP reask ping; empty for no answer.
  std::vector<uint8_t> OnReaskPing(const Protocol::SUdpSender& from, const _tagUnionHash& file);

  // Session lifecycle: opened (reconnect, or a client called back for its slot has come),
  // closed (a call back that failed counts as closed), or the client is done with us.
  Client::_tagStructSchedulerEvents OnSessionOpened(const _tagUnionHash& userHash);
  Client::_tagStructSchedulerEvents OnSessionClosed(const _tagUnionHash& userHash);
  Client::_tagStructSchedulerEvents OnUploadFinished(const _tagUnionHash& userHash);
  // Once a second: expiries, rotations, calls.
  Client::_tagStructSchedulerEvents Tick();

  // What resumes the sessions that wait for upload allowance (set by whoever runs them), and
  // the request to run it once `milliseconds` from now.
  void SetResumeHook(CTARNNetUploadPacer::Resume resume) { pacer_.SetResume(std::move(resume)); }
  void ResumeAfter(uint32_t milliseconds) { pacer_.ResumeAfter(milliseconds); }

  // The packets a scheduler event asks for.
  static std::vector<uint8_t> AcceptUploadPacket();
  std::vector<uint8_t> QueueRankPacket(const _tagUnionHash& userHash) const;

  // The file of that hash we share or download; null when there is none.
  Shared::File::TransferFile::CTransferFilePtr FindFile(const _tagUnionHash& file) const;

  Client::CTARNNetUploadScheduler& Scheduler() { return scheduler_; }
  const Client::CTARNNetUploadScheduler& Scheduler() const { return scheduler_; }
  CTARNNetRateLimiter& UploadLimiter() { return uploadLimiter_; }

 private:
  bool IsKnownFile(const _tagUnionHash& file) const;

  FileLookup lookup_;
  _tagStructUploadCreditHooks credits_;
  Shared::File::TransferFile::CTARNNetUploadBlockReader reader_;
  Client::CTARNNetUploadScheduler scheduler_;
  CTARNNetRateLimiter uploadLimiter_;
  // Last: it stops (joins its thread) before the limiter it resumes for goes.
  CTARNNetUploadPacer pacer_;
};

}  // namespace P2P
