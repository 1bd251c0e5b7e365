// The record of one remote client: how to reach it, what it told us about itself, which file
// we want from it and which parts it has, its places in our queues and the two timers that
// decide when it is asked again. It outlives its connections; the peer session it is linked
// to is reached through the small session interface declared here. Any thread: the record's
// own lock guards every member.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/transfer/RequestRecord.h"
#include "framework/CriticalSection.h"
#include "framework/ElapsedTime.h"
#include "framework/Reference.h"
#include "framework/ReferencePtr.h"

namespace P2P::Client {

// Download states (what we are doing with the remote client as a source).
enum EDownloadState : uint32_t {
  kDownloadReceiving = 0,
  kDownloadQueued = 1,
  kDownloadRequesting = 2,
  kDownloadConnecting = 3,
  kDownloadReask = 6,
  kDownloadBlocksRequested = 7,
  kDownloadNothingNow = 8,
  kDownloadNothingNeeded = 9,
  kDownloadIdle = 15,
};
// Upload states (the remote client asking us).
enum EUploadState : uint32_t {
  kUploadHelloDone = 2,
  kUploadAttaching = 3,
  kUploadNone = 9,
};

// What a client asks of the session it is linked to; implemented by the peer session.
class ITARNNetClientSession {
 public:
  virtual ~ITARNNetClientSession() = default;
  virtual void CloseSession() = 0;
  // The download wants the requested file again on the open connection.
  virtual void RequestFileAgain() = 0;
};

class CTARNNetClient : public OSTREL::CReferenceT<CTARNNetClient> {
 public:
  static constexpr uint32_t kReaskPeriod = 30000;
  // Waiting in a remote queue, a client that speaks UDP is asked again by a file reask ping
  // this often instead of a TCP reconnect; a ping unanswered this long counts as lost.
  static constexpr uint32_t kUdpReaskPeriod = 29 * 60 * 1000;
  static constexpr uint32_t kUdpAnswerWait = 30000;
  // Pings lost in a row after which the client is asked over TCP, then and from then on.
  static constexpr uint32_t kUdpPingsBeforeTcp = 2;
  static constexpr uint32_t kNever = OSTREL::Process::CElapsedTimeT<0>::kNever;

  CTARNNetClient();

  // Address and port to connect to, the server the source is on, the file wanted (or none)
  // and the user hash when known.
  void Initialise(uint32_t address, uint16_t port, uint32_t serverAddress, uint16_t serverPort,
                  const _tagUnionHash* requestedFile, const _tagUnionHash* userHash);

  // Linking to a session: download state 15, upload state 9 (3 for a call-back or an accepted
  // socket), both timers off.
  void AttachOutgoing(ITARNNetClientSession* session, bool uploadCallback);
  void AttachAccepted(ITARNNetClientSession* session);
  // An accepted connection from a client whose queue we wait in, calling us for our turn:
  // linked with the download state kept and both timers off.
  void AttachCalling(ITARNNetClientSession* session);
  // Hard: close the session too; otherwise only forget it.
  void Detach(bool hard);

  void SetReask(uint32_t milliseconds);
  bool ReaskDue() const;

  // Reasks by UDP while waiting in the remote queue: download state 6, the first ping due in
  // 29 minutes.
  void WaitByUdp();
  // A ping went out: one more unanswered, and the answer is awaited kUdpAnswerWait.
  void NoteUdpPing();
  // Its answer came: the place is kept, the next ping is due in 29 minutes.
  void NoteUdpAnswer();
  uint32_t UnansweredUdpPings() const;
  // The pings went unanswered: this client is asked over TCP from now on.
  void GiveUpUdp();
  bool UdpReaskFailed() const;
  void SetRetry(uint32_t milliseconds);
  bool RetryDue() const;

  uint32_t GetUploadState() const;
  void SetUploadState(uint32_t state);
  uint32_t GetDownloadState() const;
  void SetDownloadState(uint32_t state);

  Protocol::_tagStructPeerIdentity GetIdentity() const;
  void SetIdentity(const Protocol::_tagStructPeerIdentity& identity);
  uint32_t GetAddress() const;
  uint16_t GetPort() const;
  uint32_t GetServerAddress() const;
  uint16_t GetServerPort() const;
  void SetEndpoint(uint32_t address, uint16_t port, uint32_t serverAddress, uint16_t serverPort);
  uint32_t GetCapabilities() const;

  _tagUnionHash GetRequestedFile() const;
  void SetRequestedFile(const _tagUnionHash* hash);
  // We connect to this client to give `user` the upload slot of `file` it waited for; the
  // call is taken once the client said who it is.
  void SetSlotCall(const _tagUnionHash& user, const _tagUnionHash& file);
  std::optional<std::pair<_tagUnionHash, _tagUnionHash>> TakeSlotCall();
  // Sources of one file are asked of a client at most once every 40 minutes: true (and the
  // ask noted) when one may go out now.
  bool TakeSourceAsk(const _tagUnionHash& file);
  Shared::File::TransferFile::_tagStructRequestRecord GetRequest() const;
  void SetRequest(const Shared::File::TransferFile::_tagStructRequestRecord& request);

  ITARNNetClientSession* GetSession() const;
  void SetSession(ITARNNetClientSession* session);

  // The client's parts of the requested file, one byte per part; none until known. An empty
  // bitmap means "has the whole file".
  std::optional<std::vector<uint8_t>> GetAvailability() const;
  void SetAvailability(std::optional<std::vector<uint8_t>> availability);

  int32_t GetUploadQueuePosition() const;
  void SetUploadQueuePosition(int32_t position);
  int32_t GetRemoteQueueRank() const;
  void SetRemoteQueueRank(int32_t rank);

 private:
  mutable OSTREL::Process::CMutex lock_;
  uint32_t uploadState_ GUARDED_BY(lock_) = kUploadNone;
  uint32_t downloadState_ GUARDED_BY(lock_) = kDownloadIdle;
  uint32_t address_ GUARDED_BY(lock_) = 0;
  uint16_t port_ GUARDED_BY(lock_) = 0;
  uint32_t serverAddress_ GUARDED_BY(lock_) = 0;
  uint16_t serverPort_ GUARDED_BY(lock_) = 0;
  Protocol::_tagStructPeerIdentity identity_ GUARDED_BY(lock_);
  _tagUnionHash requestedFile_ GUARDED_BY(lock_);
  // The user and file of a slot this client is called back for.
  std::optional<std::pair<_tagUnionHash, _tagUnionHash>> slotCall_ GUARDED_BY(lock_);
  // The file sources were last asked for, and when.
  _tagUnionHash sourceAskFile_ GUARDED_BY(lock_);
  uint32_t sourceAskTick_ GUARDED_BY(lock_) = 0;
  std::optional<std::vector<uint8_t>> availability_ GUARDED_BY(lock_);
  uint32_t unansweredPings_ GUARDED_BY(lock_) = 0;
  bool udpFailed_ GUARDED_BY(lock_) = false;
  int32_t uploadQueuePosition_ GUARDED_BY(lock_) = -1;
  int32_t remoteQueueRank_ GUARDED_BY(lock_) = -1;
  Shared::File::TransferFile::_tagStructRequestRecord request_ GUARDED_BY(lock_);
  ITARNNetClientSession* session_ GUARDED_BY(lock_) = nullptr;
  OSTREL::Process::CElapsedTimeT<kReaskPeriod> reask_ GUARDED_BY(lock_);
  OSTREL::Process::CElapsedTimeT<kNever> retry_ GUARDED_BY(lock_);
};

using CClientPtr = OSTREL::CReferencePtr<CTARNNetClient>;

}  // namespace P2P::Client
