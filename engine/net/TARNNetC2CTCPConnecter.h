// One TCP session with another eD2K client, driven by the peer multiplexer: the hello and
// info exchange that identifies both sides; as a downloader, the file request sequence, file
// status, hash set, the upload grant and the block request cycle that writes received data
// (plain or packed) into the download; as the asked side, answers about the files we hold;
// and the small requests any peer may make (port test, public address, AICH hashes). It is
// linked to one remote-client record while open; when it ends it sets the record's reask
// timer from the download state. Handlers run on the multiplexer's wait thread, one at a
// time; CloseSession and ConnectTo from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>

#include "engine/base/ClientConfig.h"
#include "engine/net/RefusalCounter.h"
#include "engine/net/SecureIdentification.h"
#include "engine/net/TARNNetC2CManager.h"
#include "engine/net/TARNNetUploadService.h"
#include "engine/peers/Client.h"
#include "engine/peers/ClientList.h"
#include "engine/transfer/TransferFile.h"
#include "framework/ManagedObject.h"

namespace P2P {

class CPausedReaderRegistry;
class CServedSessionRegistry;
using Shared::File::TransferFile::CTARNNetTransferFile;

class CTARNNetC2CTCPConnecterT
    : public OSTREL::Network::Socket::CManagedObjectT<CTARNNetC2CTCPConnecterT, 30000>,
      public Client::ITARNNetClientSession {
 public:
  // The idle limit while we wait in the remote client's queue.
  static constexpr uint32_t kQueuedIdleTimeout = 120000;

  // `clients` (may be null): the list a client that only asked of us leaves when the session ends.
  CTARNNetC2CTCPConnecterT(const _tagStructClientConfig& own, Client::CClientPtr client,
                           Client::CTARNNetClientList* clients = nullptr);
  ~CTARNNetC2CTCPConnecterT() override;
  void OnFinalRelease() override { delete this; }

  // Adopts a socket accepted by the listener; the remote side speaks first.
  bool AttachAccepted(int fd);
  // Links the client, connects to its address and port and joins `manager`: for downloading
  // (hello once connected) or as an upload call-back (the remote side speaks first).
  bool ConnectTo(CTARNNetC2CManager& manager, bool uploadCallback);

  void CloseSession() override { Close(true); }
  void RequestFileAgain() override;

  const Client::CClientPtr& GetClient() const { return client_; }
  // The engine's address as peers report it; 0 while unknown. Process-wide.
  static uint32_t GetPublicAddress() { return publicAddress_.load(); }
  static void ResetPublicAddress() { publicAddress_.store(0); }
  // Who proves identities for every session (the engine's credit list); null: nobody, and
  // remote clients stay unidentified. Set before sessions run, cleared after they ended.
  static void SetSecureIdentification(Credit::ITARNNetSecureIdentification* ident) {
    secureIdent_.store(ident);
  }
  // The TCP port of a listed server by its address (wire order); none for servers we do
  // not list. A peer's client id change is believed only for listed servers.
  using ServerPortLookup = std::function<std::optional<uint16_t>(uint32_t address)>;
  static void SetServerPortLookup(ServerPortLookup lookup) {
    std::lock_guard guard(lookupLock_);
    serverPortLookup_ = std::move(lookup);
  }

  // Packets of this peer that a reader refused, and why the last one was.
  uint32_t GetRefusalCount() const { return refusals_.Count(); }
  Protocol::SRefusal GetLastRefusal() const { return refusals_.Last(); }

  // Serving: the engine's upload service every session sends through; null: uploads are
  // granted without slots and no data is sent. Set before sessions run, cleared after.
  static void SetUploadService(CTARNNetUploadService* service);
  // Sends the accept-upload packet to a client the scheduler called, and the data it asks.
  void OnUploadCalled();
  // Sends the queue rank to a client whose slot rotated; its pending ranges are dropped.
  void OnUploadRotated();
  // Sends more of the asked ranges when the rate limiter allows it again.
  void ResumeUpload();
  // The open session serving `user`, if any, held while `action` runs.
  static void ForServedSession(const _tagUnionHash& user,
                               const std::function<void(CTARNNetC2CTCPConnecterT&)>& action);
  // Tells the sessions of called clients to start and those of rotated ones to queue again.
  static void OnSchedulerEvents(const Client::_tagStructSchedulerEvents& events);
  // Resumes the sessions whose sending waited for allowance or for a slot's new term.
  static void ResumeWaitingSessions();
  // Every session that serves a client, by user hash.
  static CServedSessionRegistry& ServedSessions();
  // Resumes reading in the sessions that stopped for want of download allowance.
  static void ResumePausedReaders();
  static CPausedReaderRegistry& PausedReaders();

  // The packet reader's entry; packed packets are dispatched as extended ones.
  bool Dispatch(uint8_t opcode, uint8_t protocol, std::span<const uint8_t> payload);

 protected:
  size_t OnReceiveData(std::span<const uint8_t> pending) override;
  void OnConnect(int error) override;
  void OnSend(int error) override;
  void OnClose(int error) override;
  void OnError(int error) override;

 private:
  using CTransferFilePtr = Shared::File::TransferFile::CTransferFilePtr;
  using RequestRecord = Shared::File::TransferFile::_tagStructRequestRecord;

  bool DispatchEd2k(uint8_t opcode, std::span<const uint8_t> payload);
  bool DispatchExtended(uint8_t opcode, std::span<const uint8_t> payload);
  bool OnHello(std::span<const uint8_t> payload, bool answer);
  void OnInfo(std::span<const uint8_t> payload, bool answer);
  void OnQueueRank(int32_t rank);
  void OnClientIdChange(std::span<const uint8_t> payload);
  // After a hello or info: opens secure identification once per connection when due.
  void StartSecureIdentification();
  void OnSecureIdentPacket(uint8_t opcode, std::span<const uint8_t> payload);
  Credit::SSecureIdentContext SecureIdentContext() const;
  bool SendPacket(uint8_t protocol, uint8_t opcode, std::span<const uint8_t> payload = {});
  bool SendHashPacket(uint8_t protocol, uint8_t opcode, const _tagUnionHash& hash);
  static CTransferFilePtr FindFile(const _tagUnionHash& hash);
  // The file a packet names; unknown: file not found (when `answer`) and close.
  CTransferFilePtr KnownFileOr(std::span<const uint8_t> payload, bool answer);

  // Download side (TARNNetC2CDownload.cpp).
  void StartFileRequest(bool openSession);
  void AppendFileNameRequest(Protocol::CStreamWriter& writer, CTARNNetTransferFile& file);
  void OnFileNameAnswer(std::span<const uint8_t> payload);
  void OnFileStatus(std::span<const uint8_t> payload);
  void OnHashSetAnswer(std::span<const uint8_t> payload);
  void OnAcceptUpload();
  void OnData(std::span<const uint8_t> payload, bool packed);
  void OnMultiPacketAnswer(std::span<const uint8_t> payload);
  void OnAnswerSources(std::span<const uint8_t> payload);
  void OnAichFileHashAnswer(std::span<const uint8_t> payload);
  void OnAichAnswer(std::span<const uint8_t> payload);
  void ApplyFileStatus(CTARNNetTransferFile& file, Protocol::CStreamReader& reader);
  // The hash set answer or start upload request that follows the file status.
  void AskForHashSetOrUpload(CTARNNetTransferFile& file);
  void RequestBlocks(CTARNNetTransferFile& file);
  void AfterBlockCompleted(CTARNNetTransferFile& file);
  // Counts received data against "Max Download"; reading pauses while the allowance is in debt.
  void PaceReceiving(uint32_t bytes);
  bool InsideLastRequest(const Protocol::_tagStructDataPacket& packet, bool packed) const;
  // A part whose check failed is repaired block by block once its AICH hashes are known.
  bool IsLastRequiredOfPart(CTARNNetTransferFile& file,
                            const Shared::File::TransferFile::CTARNNetTransferBlock& block);
  bool PartFailed(CTARNNetTransferFile& file, uint32_t part);
  void AskForRecoveryData(CTARNNetTransferFile& file, uint32_t part);
  // Asks this peer, once per session, for recovery data of the parts that failed their MD4
  // elsewhere and that it holds.
  void AskForAwaitedRecovery(CTARNNetTransferFile& file);
  // Cancel transfer (or end of download and close when finished), requests forgotten.
  void GiveUp(CTARNNetTransferFile& file, uint32_t retryMs, uint32_t state);
  void ForgetOutstanding(CTARNNetTransferFile& file);
  bool OffersNeededPart(CTARNNetTransferFile& file) const;
  std::vector<uint8_t> AvailabilityBitmap(CTARNNetTransferFile& file) const;
  void CountAvailabilityOut(CTARNNetTransferFile& file);
  uint32_t BlocksWanted(CTARNNetTransferFile& file);
  void EndDownloadSide();

  // Asked side (TARNNetC2CUpload.cpp).
  void OnSetRequestedFile(std::span<const uint8_t> payload);
  void OnRequestFileName(std::span<const uint8_t> payload);
  void OnHashSetRequest(std::span<const uint8_t> payload);
  void OnStartUploadRequest(std::span<const uint8_t> payload);
  void OnRequestParts(std::span<const uint8_t> payload);
  void OnMultiPacket(std::span<const uint8_t> payload);
  void OnAichFileHashRequest(std::span<const uint8_t> payload);
  void OnAichRequest(std::span<const uint8_t> payload);
  void AppendFileName(Protocol::CStreamWriter& writer, CTARNNetTransferFile& file);
  void AppendPartStatus(Protocol::CStreamWriter& writer, CTARNNetTransferFile& file);

  // Serving (TARNNetC2CServe.cpp).
  _tagStructUploadPeer UploadPeer() const;
  // Serves asked ranges while the send queue is short; the rest goes once the socket drains.
  // Accept, queue rank or nothing for a start-upload request of `file`.
  bool AdmitUpload(const _tagUnionHash& file);
  // Takes the used ranges of a checked request and starts sending them.
  void QueueServeRanges(const _tagUnionHash& file, const RequestRecord& request);
  void PumpUpload();
  void PumpLocked();  // under pumpLock_
  void EndUploadSide();
  // The client is done with the file we serve: its slot or queue place goes to the next one.
  bool FinishServedUpload(const _tagUnionHash& file);
  // Ranges a remote client may have us hold for it at once: three requests' worth.
  static constexpr size_t kMaxServeRanges = 9;
  std::mutex pumpLock_;  // held by the one thread pumping; taken before serveLock_
  std::atomic<bool> pumpWanted_{false};
  std::mutex serveLock_;
  std::deque<std::pair<uint32_t, uint32_t>> servePending_;  // asked [start, end), in order
  _tagUnionHash uploadFile_{};     // the file the served ranges belong to
  _tagUnionHash servedUser_{};     // the user the scheduler knows this session's client as
  bool uploadRegistered_ = false;  // the scheduler knows this session's client
  static inline std::atomic<CTARNNetUploadService*> uploadService_{nullptr};

  const _tagStructClientConfig& own_;
  Client::CClientPtr client_;
  Client::CTARNNetClientList* clients_;
  uint32_t remoteAddress_ = 0;  // network byte order, as seen on this connection
  CRefusalCounter refusals_{"peer TCP"};
  // Blocks asked of the remote client and not yet whole, with their data so far.
  Shared::File::TransferFile::CTARNNetTransferBlockList outstanding_;
  bool availabilityCounted_ = false;  // the client's parts are in the download's frequencies
  std::vector<uint32_t> recoveryAsked_;  // parts whose recovery data this session asked for
  uint32_t rateTick_ = 0;
  uint32_t bytesSinceRate_ = 0;
  bool secureIdentSent_ = false;

  static inline std::atomic<uint32_t> publicAddress_{0};
  static inline std::atomic<Credit::ITARNNetSecureIdentification*> secureIdent_{nullptr};
  static inline std::mutex lookupLock_;
  static inline ServerPortLookup serverPortLookup_;
};

}  // namespace P2P
