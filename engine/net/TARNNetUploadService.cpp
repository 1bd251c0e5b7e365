#include "engine/net/TARNNetUploadService.h"

#include "engine/net/TARNNetClientCreditList.h"
#include "engine/peers/UploadReaskAnswer.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/protocol/PeerUploadMessages.h"
#include "engine/upload/UploadBlockPackets.h"

namespace P2P {

using Shared::File::TransferFile::_tagStructRequestRecord;
using Shared::File::TransferFile::_tagStructUploadBlock;
using Shared::File::TransferFile::EUploadRead;

_tagStructUploadCreditHooks CreditHooksOf(Credit::CTARNNetClientCreditList& credits) {
  _tagStructUploadCreditHooks hooks;
  hooks.modifier = [&credits](const _tagUnionHash& user) { return credits.CreditModifier(user); };
  // The list counts only for users whose identity verified.
  hooks.addUploaded = [&credits](const _tagUnionHash& user, uint64_t bytes) {
    credits.AddUploaded(user, bytes);
  };
  return hooks;
}

CTARNNetUploadService::CTARNNetUploadService(FileLookup lookup, _tagStructUploadCreditHooks credits,
                                             Client::_tagStructUploadSchedulerSettings settings)
    : lookup_(lookup),
      credits_(std::move(credits)),
      reader_(std::move(lookup)),
      scheduler_(settings, credits_.modifier) {}

void CTARNNetUploadService::ApplyConfig(const _tagStructClientConfig& config) {
  scheduler_.SetSlots(config.uploadSlots);
  scheduler_.SetMaxQueue(config.maxQueue);
  uploadLimiter_.SetRateKiB(config.maxUploadKiB);
}

Shared::File::TransferFile::CTransferFilePtr CTARNNetUploadService::FindFile(
    const _tagUnionHash& file) const {
  auto found = lookup_ ? lookup_(file) : Shared::File::TransferFile::CTransferFilePtr();
  if (found && found->GetHash() == file) return found;
  return {};
}

bool CTARNNetUploadService::IsKnownFile(const _tagUnionHash& file) const {
  return static_cast<bool>(FindFile(file));
}

std::vector<uint8_t> CTARNNetUploadService::OnStartUploadRequest(
    const _tagStructUploadPeer& peer, const _tagUnionHash& file,
    Client::EUploadAdmission* admission) {
  Client::_tagStructUploadRequester requester;
  requester.userHash = peer.userHash;
  requester.address = peer.address;
  requester.udpPort = peer.udpPort;
  requester.tcpPort = peer.tcpPort;
  requester.fileHash = file;
  const auto result = scheduler_.Request(requester);
  if (admission != nullptr) *admission = result.result;
  switch (result.result) {
    case Client::EUploadAdmission::kGranted:
      return AcceptUploadPacket();
    case Client::EUploadAdmission::kQueued:
      return Protocol::BuildQueueRank(Protocol::WireRank(result.rank));
    case Client::EUploadAdmission::kQueueFull:
      break;
  }
  return {};
}

_tagStructUploadServeResult CTARNNetUploadService::Serve(const _tagStructUploadPeer& peer,
                                                         const _tagUnionHash& file,
                                                         const _tagStructRequestRecord& request,
                                                         size_t from, std::vector<uint8_t>& out) {
  _tagStructUploadServeResult result;
  result.served = from;
  for (size_t i = from; i < _tagStructRequestRecord::kPairs; ++i, result.served = i) {
    if (!request.UsedPair(i)) continue;
    if (!scheduler_.IsUploading(peer.userHash)) {
      result.status = EUploadServe::kNotUploading;
      return result;
    }
    const uint32_t start = request.start[i], end = request.end[i];
    const uint32_t length = end > start ? end - start : 0;
    // The allowance is taken before the read, so a limited session does not read in vain.
    if (!uploadLimiter_.TakeWhole(length)) {
      result.status = EUploadServe::kRateLimited;
      result.waitMs = uploadLimiter_.MillisecondsUntil(1);
      return result;
    }
    _tagStructUploadBlock block;
    result.refusal = reader_.Read(file, start, end, block);
    if (result.refusal != EUploadRead::kOk) {
      uploadLimiter_.GiveBack(length);
      result.status = EUploadServe::kRefused;
      return result;
    }
    Shared::File::TransferFile::AppendBlockPackets(out, block, peer.compressionVersion);
    result.bytes += length;
    if (credits_.addUploaded) credits_.addUploaded(peer.userHash, length);
    if (!scheduler_.AddSent(peer.userHash, length)) {
      result.served = i + 1;
      result.status = EUploadServe::kSlotUsedUp;
      return result;
    }
  }
  return result;
}

std::vector<uint8_t> CTARNNetUploadService::OnReaskPing(const Protocol::SUdpSender& from,
                                                        const _tagUnionHash& file) {
  return Client::AnswerReaskPing(scheduler_, IsKnownFile(file), from.address, from.port, file);
}

Client::_tagStructSchedulerEvents CTARNNetUploadService::OnSessionOpened(
    const _tagUnionHash& userHash) {
  return scheduler_.SetConnected(userHash, true);
}

Client::_tagStructSchedulerEvents CTARNNetUploadService::OnSessionClosed(
    const _tagUnionHash& userHash) {
  return scheduler_.SetConnected(userHash, false);
}

Client::_tagStructSchedulerEvents CTARNNetUploadService::OnUploadFinished(
    const _tagUnionHash& userHash) {
  return scheduler_.Remove(userHash);
}

Client::_tagStructSchedulerEvents CTARNNetUploadService::Tick() { return scheduler_.Tick(); }

std::vector<uint8_t> CTARNNetUploadService::AcceptUploadPacket() {
  return Protocol::BuildPeerPacket(Protocol::kProtocolEDonkey, Protocol::kOpAcceptUploadRequest);
}

std::vector<uint8_t> CTARNNetUploadService::QueueRankPacket(const _tagUnionHash& userHash) const {
  return Protocol::BuildQueueRank(Protocol::WireRank(scheduler_.Rank(userHash)));
}

}  // namespace P2P
