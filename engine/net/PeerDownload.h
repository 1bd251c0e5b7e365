// The download side of a peer session: asking the remote client for the file we want from it,
// its parts and hash set, waiting for the upload grant or in its queue, and the block request
// cycle that takes received data (plain or packed) into the download, paced by "Max Download"
// and credited to the sender. It also takes sources and AICH data the remote client offers.
// Built by its session with the session's context, connection and client record, and testable
// on its own with any connection. Called on the session's thread, one call at a time.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "engine/net/PeerLink.h"
#include "engine/net/PeerSessionContext.h"
#include "engine/peers/Client.h"
#include "engine/protocol/PeerFileMessages.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/transfer/TransferBlock.h"
#include "engine/transfer/TransferFile.h"
#include "engine/upload/ServedRangeBook.h"

namespace P2P {

class CTARNNetPeerDownload {
 public:
  using File = Shared::File::TransferFile::CTARNNetTransferFile;
  // The idle limit while we wait in the remote client's queue.
  static constexpr uint32_t kQueuedIdleTimeout = 120000;

  CTARNNetPeerDownload(CPeerSessionContext& context, ITARNNetPeerLink& link,
                       Client::CClientPtr client);

  // The session ends: the client's parts leave the download's counts, the blocks asked of it
  // are forgotten. A client waiting in its queue keeps the parts it told us of for the call.
  void End();
  // The session belongs to `client` from now on (taken before anything was asked of it).
  void Rebind(Client::CClientPtr client);
  // Asks for the client's requested file: the request sequence after a hello answer, or (on
  // `openSession`, the file wanted again) one multi-packet where the client takes them.
  void StartFileRequest(bool openSession);
  // The remote client queued us at `rank`: we wait longer, and owe ourselves no blocks.
  void OnQueueRank(int32_t rank);
  // The remote client asked us for `file` and sent its own part status: when it is the file
  // we want from it, that status is its availability (an unreadable one makes it unusable).
  void OnAskerParts(File& file, const Protocol::SAskerParts& asker);

  // The packets of the download side, as the session dispatches them.
  void OnFileNotFound(std::span<const uint8_t> payload);
  void OnFileNameAnswer(std::span<const uint8_t> payload);
  void OnFileStatus(std::span<const uint8_t> payload);
  void OnHashSetAnswer(std::span<const uint8_t> payload);
  void OnMultiPacketAnswer(std::span<const uint8_t> payload);
  void OnAcceptUpload();
  // Plain (sending part) or packed (compressed part) data of a block we asked for, in the
  // 32-bit or the 64-bit (`wide`) form; either is taken for any file.
  void OnData(std::span<const uint8_t> payload, bool packed, bool wide);
  // The remote client will not serve what we asked: the blocks go back to the download.
  void OnOutOfPartRequests();
  void OnAnswerSources(std::span<const uint8_t> payload);
  void OnAichFileHashAnswer(std::span<const uint8_t> payload);
  void OnAichAnswer(std::span<const uint8_t> payload);

 private:
  using FilePtr = Shared::File::TransferFile::CTransferFilePtr;
  using RequestRecord = Shared::File::TransferFile::_tagStructRequestRecord;

  FilePtr RequestedFile() const { return context_.FindFile(client_->GetRequestedFile()); }
  // Sources the remote client gives us join the download; false when the list cannot be read.
  bool TakeSources(File& file, Protocol::CStreamReader& reader);
  // A name the remote client gives the file becomes the download's other name.
  void TakeOtherName(File& file, const std::string& name);
  // A list naming us, as our user or at our address and port.
  bool IsOurself(const Protocol::_tagStructPeerSource& source) const;
  // What the client's hello and file status told us goes into the download's source list.
  void NoteSourceRecord(File& file, Remote::Peer::EPeerHolds holds);
  bool SendHash(uint8_t protocol, uint8_t opcode, const _tagUnionHash& hash) {
    return link_.SendPacket(protocol, opcode, hash.bytes);
  }

  // A root the remote client offers is taken (trusted) when we hold none.
  void TakeAichRoot(File& file, std::span<const uint8_t> root);
  void ApplyFileStatus(File& file, Protocol::CStreamReader& reader);
  // A one-part file's name answer is all there is to its status.
  void OnSinglePartAnswered(File& file);
  // The hash set request or start upload request that follows the file status.
  void AskForHashSetOrUpload(File& file);

  // A file above kMaxSmallFileSize is never asked of a client that does not take large files.
  bool MayAskFor(File& file) const;

  // Receiving (PeerDownloadData.cpp).
  void RequestBlocks(File& file);
  // The block request for `request`, in the 64-bit form for a large file.
  void SendBlockRequest(File& file, const RequestRecord& request);
  void AfterBlockCompleted(File& file);
  // Credits the sender and counts the bytes against "Max Download"; reading pauses while the
  // allowance is in debt.
  void PauseForDisk();
  void OnReceived(uint32_t bytes);
  bool InsideLastRequest(const Protocol::_tagStructDataPacket& packet, bool packed) const;
  // A part whose check failed is repaired block by block once its AICH hashes are known.
  bool IsLastRequiredOfPart(File& file,
                            const Shared::File::TransferFile::CTARNNetTransferBlock& block);
  bool PartFailed(File& file, uint32_t part);
  void AskForRecoveryData(File& file, uint32_t part);
  // Asks this peer, once per session, for recovery data of the parts that failed their MD4
  // elsewhere and that it holds.
  void AskForAwaitedRecovery(File& file);
  // Cancel transfer (or end of download and close when finished), requests forgotten.
  void GiveUp(File& file, uint32_t retryMs, uint32_t state);
  // Ends the upload slot and asks for a new one, in which the ranges it sent may be asked
  // again.
  void RenewSlot(File& file);
  void ForgetOutstanding(File& file);
  bool OffersNeededPart(File& file) const;
  std::vector<uint8_t> AvailabilityBitmap(File& file) const;
  void CountAvailabilityOut(File& file);
  uint32_t BlocksWanted(File& file);

  CPeerSessionContext& context_;
  ITARNNetPeerLink& link_;
  Client::CClientPtr client_;
  // Blocks asked of the remote client and not yet whole, with their data so far.
  Shared::File::TransferFile::CTARNNetTransferBlockList outstanding_;
  // Every range asked of the remote client in its current upload slot: it sends each once.
  Shared::File::TransferFile::CTARNNetServedRangeBook askedInSlot_{Protocol::kMaxServeBookedRanges};
  bool availabilityCounted_ = false;     // the client's parts are in the download's frequencies
  std::vector<uint32_t> recoveryAsked_;  // parts whose recovery data this session asked for
  uint32_t rateTick_ = 0;
  uint32_t bytesSinceRate_ = 0;
};

}  // namespace P2P
