// The receiving half of a session's download side: the block requests, the data that answers
// them, what a failed part asks for, and giving up on a source.
#include <algorithm>

#include "engine/download/DownloadFileData.h"
#include "engine/hashing/HashConstants.h"
#include "engine/net/PeerDownload.h"
#include "engine/net/TARNNetTransferBudget.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerFileMessages.h"
#include "framework/CriticalSection.h"
#include "framework/TickSource.h"

namespace P2P {

using namespace Protocol;
using OSTREL::Process::CLock;
using Shared::File::TransferFile::_tagStructReceivedData;
using Shared::File::TransferFile::CTARNNetDownloadFileData;
using Shared::File::TransferFile::CTARNNetTransferBlock;

namespace {

// Three blocks of 184320 bytes per source: below this much left, slow sources get fewer.
constexpr uint32_t kBytesPerSourceForFullRequest = 3 * HASH::kAICHBlockSize;
constexpr uint32_t kRetryNothingNeeded = 10000;
constexpr uint32_t kRetryNothingNow = 5000;
// With fewer blocks than this outstanding, the next request is sent.
constexpr size_t kPipelineRefillBelow = 3;
// A session held back by a busy disk looks again after this long.
constexpr uint32_t kDiskPauseMs = 10;

}  // namespace

uint32_t CTARNNetPeerDownload::BlocksWanted(File& file) {
  const uint32_t now = OSTREL::Process::CTickSource::Now();
  const uint32_t elapsed = now - rateTick_ == 0 ? 1000 : now - rateTick_;
  const uint64_t rate = uint64_t{bytesSinceRate_} * 1000 / elapsed;
  rateTick_ = now;
  bytesSinceRate_ = 0;
  const uint64_t plenty = uint64_t{file.GetSourceCount()} * kBytesPerSourceForFullRequest;
  if (file.Data()->RemainingBytes() > plenty) return 3;
  return rate < 10240 ? 1 : rate < 20480 ? 2 : 3;
}

void CTARNNetPeerDownload::RequestBlocks(File& file) {
  RequestRecord request;
  const uint32_t chosen = file.Data()->ChooseBlocks(AvailabilityBitmap(file), request,
                                                    BlocksWanted(file), askedInSlot_.Ranges());
  if (chosen == 0 || request.IsEmpty()) {
    // What this source still owes us may be all there is left: wait for it. What it sent
    // in this slot may be wanted again (a part failed, a block came broken): that takes a
    // new slot.
    if (outstanding_.Size() != 0) return;
    if (askedInSlot_.Size() != 0)
      RenewSlot(file);
    else
      GiveUp(file, kRetryNothingNow, Client::kDownloadNothingNow);
    return;
  }
  for (size_t i = 0; i < RequestRecord::kPairs && i < chosen; ++i) {
    if (!request.UsedPair(i)) continue;
    outstanding_.Add(request.start[i], request.end[i]);
    askedInSlot_.TakeNew(request.start[i], request.end[i]);
  }
  client_->SetRequest(request);
  SendBlockRequest(file, request);
  client_->SetDownloadState(Client::kDownloadBlocksRequested);
}

void CTARNNetPeerDownload::SendBlockRequest(File& file, const RequestRecord& request) {
  // Every block of a large file is asked in the 64-bit form, those of any other file in the
  // 32-bit one.
  const bool wide = file.GetSize() > kMaxSmallFileSize;
  if (wide && !MayAskFor(file)) return;
  const auto payload = BuildRequestParts(file.GetHash(), request.start, request.end, wide);
  if (!payload) return;
  if (wide)
    link_.SendPacket(kProtocolExtended, kOpRequestPartsWide, *payload);
  else
    link_.SendPacket(kProtocolEDonkey, kOpRequestParts, *payload);
}

void CTARNNetPeerDownload::OnData(std::span<const uint8_t> payload, bool packed, bool wide) {
  _tagStructDataPacket packet;
  if (!(packed ? ReadCompressedPart(payload, packet, nullptr, wide)
               : ReadSendingPart(payload, packet, nullptr, wide)))
    return;
  const FilePtr file = context_.FindFile(packet.file);
  if (!file || packet.file != client_->GetRequestedFile()) {
    link_.Close();
    return;
  }
  client_->SetDownloadState(Client::kDownloadReceiving);
  const auto data = file->Data();
  if (data->IsFinished()) {
    SendHash(kProtocolEDonkey, kOpEndOfDownload, packet.file);
    link_.Close();
    return;
  }
  if (data->IsPaused() || data->IsStopped()) return;
  // Packed data names only its block's start; the inflated bytes are bounded by the block.
  // Several requests may be in flight, so the block is looked up among all outstanding ones.
  CTARNNetTransferBlock* block = packed
                                     ? outstanding_.FindStartingAt(packet.start)
                                     : outstanding_.FindCovering(packet.start, packet.endOrPacked);
  if (!block) {
    if (!InsideLastRequest(packet, packed))
      GiveUp(*file, kRetryNothingNow, Client::kDownloadNothingNow);
    return;  // already whole, or given up
  }
  const uint32_t before = block->Held();
  const bool taken = packed ? block->AppendPacked(packet.start, packet.data)
                            : block->AppendPlain(packet.start, packet.data);
  if (!taken || block->IsBroken()) {
    RequestRecord lost;
    lost.start[0] = block->Start();
    lost.end[0] = block->End();
    outstanding_.Remove(block);
    data->ForgetRequest(lost);
    if (outstanding_.Size() == 0) RequestBlocks(*file);
    return;
  }
  const uint32_t newBytes = block->Held() - before;
  bytesSinceRate_ += newBytes;
  OnReceived(newBytes);
  if (!block->IsComplete()) {
    data->AcceptData(_tagStructReceivedData{nullptr, newBytes});
    return;
  }
  const auto part = static_cast<uint32_t>(block->Start() / HASH::kPartSize);
  const bool lastOfPart = IsLastRequiredOfPart(*file, *block);
  data->AcceptData(_tagStructReceivedData{block, newBytes});
  outstanding_.Remove(block);
  if (data->WritesBackedUp()) PauseForDisk();
  if (lastOfPart && PartFailed(*file, part)) AskForRecoveryData(*file, part);
  if (link_.IsOpen()) AfterBlockCompleted(*file);
}

// "Max Download": the data peers send us draws on one shared allowance. A session that puts it
// in debt stops reading until the debt is paid, and TCP holds its sender back meanwhile. Bytes
// a peer gave us count for its credit with us.
void CTARNNetPeerDownload::OnReceived(uint32_t bytes) {
  CTARNNetTransferBudget* budget = context_.budget;
  if (budget == nullptr) return;
  const uint32_t waitMs = budget->OnReceived(client_->GetIdentity().userHash, bytes);
  if (waitMs == 0) return;
  // Paused before it is listed, so that a resume cannot come first and be lost.
  link_.PauseReceiving(true);
  context_.pausedReaders.Add(&link_);
  budget->ResumeReadingAfter(waitMs);
}

// The disk's writer holds as much as it may: this session stops reading for a moment, and TCP
// holds its sender back, so received data never piles up in memory faster than the disk
// takes it. Reading resumes shortly; a writer still backed up then pauses it again.
void CTARNNetPeerDownload::PauseForDisk() {
  CTARNNetTransferBudget* budget = context_.budget;
  if (budget == nullptr) return;
  link_.PauseReceiving(true);
  context_.pausedReaders.Add(&link_);
  budget->ResumeReadingAfter(kDiskPauseMs);
}

bool CTARNNetPeerDownload::InsideLastRequest(const _tagStructDataPacket& packet,
                                             bool packed) const {
  const RequestRecord request = client_->GetRequest();
  for (size_t i = 0; i < RequestRecord::kPairs; ++i) {
    if (!request.UsedPair(i)) continue;
    if (packed ? packet.start == request.start[i]
               : packet.start >= request.start[i] && packet.endOrPacked <= request.end[i])
      return true;
  }
  return false;
}

bool CTARNNetPeerDownload::IsLastRequiredOfPart(File& file, const CTARNNetTransferBlock& block) {
  const auto part = static_cast<uint32_t>(block.Start() / HASH::kPartSize);
  const uint64_t partStart = HASH::PartStart(part);
  const uint64_t partEnd = partStart + HASH::PartLength(file.GetSize(), part);
  const auto download = file.DataAs<CTARNNetDownloadFileData>();
  if (download == nullptr) return false;
  CLock guard(file.LockObject());
  const auto& required = download->Blocks().Required();
  return !required.Overlaps(partStart, block.Start()) && !required.Overlaps(block.End(), partEnd);
}

bool CTARNNetPeerDownload::PartFailed(File& file, uint32_t part) {
  const uint64_t partStart = HASH::PartStart(part);
  const uint64_t partEnd = partStart + HASH::PartLength(file.GetSize(), part);
  const auto download = file.DataAs<CTARNNetDownloadFileData>();
  if (download == nullptr) return false;
  CLock guard(file.LockObject());
  if (download->IsFinished()) return false;
  const std::vector<uint8_t>& complete = file.CompletionBitmap();
  const bool done = part < complete.size() && complete[part] != 0;
  return !done && (download->Blocks().Required().Overlaps(partStart, partEnd) ||
                   download->Blocks().AwaitsRecovery(part));
}

void CTARNNetPeerDownload::AskForAwaitedRecovery(File& file) {
  if (AichVersion(client_->GetCapabilities()) == 0) return;
  const auto download = file.DataAs<CTARNNetDownloadFileData>();
  if (download == nullptr) return;
  std::vector<uint32_t> awaited;
  {
    CLock guard(file.LockObject());
    awaited = download->Blocks().PartsAwaitingRecovery();
  }
  const std::vector<uint8_t> offered = AvailabilityBitmap(file);
  for (const uint32_t part : awaited) {
    if (part >= offered.size() || offered[part] == 0 ||
        std::find(recoveryAsked_.begin(), recoveryAsked_.end(), part) != recoveryAsked_.end())
      continue;
    recoveryAsked_.push_back(part);
    AskForRecoveryData(file, part);
  }
}

void CTARNNetPeerDownload::AskForRecoveryData(File& file, uint32_t part) {
  if (AichVersion(client_->GetCapabilities()) == 0 || part > 0xFFFF) return;
  AichRoot root;
  {
    CLock guard(file.LockObject());
    const HASH::CTARNNetFileHashSet& hashes = file.HashSet();
    const HASH::_tagStructAICHHash* trusted = hashes.GetRootHash();
    // Recovery data is only worth asking for against a root we trust.
    if (trusted == nullptr || hashes.GetStatus() < HASH::CTARNNetFileHashSet::kStatusTrusted ||
        hashes.IsRangeVerified(HASH::PartStart(part), HASH::PartStart(part) + 1))
      return;
    root = trusted->bytes;
  }
  link_.SendPacket(kProtocolExtended, kOpAichRequest,
                   BuildAichRequest(file.GetHash(), static_cast<uint16_t>(part), root));
}

void CTARNNetPeerDownload::AfterBlockCompleted(File& file) {
  if (!OffersNeededPart(file)) {
    GiveUp(file, kRetryNothingNeeded, Client::kDownloadNothingNeeded);
    return;
  }
  // The next request goes out while the current one still has blocks to come, so the
  // link never idles between requests.
  if (outstanding_.Size() >= kPipelineRefillBelow) return;
  RequestBlocks(file);
}

void CTARNNetPeerDownload::RenewSlot(File& file) {
  link_.SendPacket(kProtocolEDonkey, kOpCancelTransfer);
  askedInSlot_.Clear();
  SendHash(kProtocolEDonkey, kOpStartUploadRequest, file.GetHash());
  client_->SetDownloadState(Client::kDownloadRequesting);
}

void CTARNNetPeerDownload::GiveUp(File& file, uint32_t retryMs, uint32_t state) {
  if (file.Data()->IsFinished()) {
    SendHash(kProtocolEDonkey, kOpEndOfDownload, file.GetHash());
    link_.Close();
  } else {
    link_.SendPacket(kProtocolEDonkey, kOpCancelTransfer);
  }
  ForgetOutstanding(file);
  askedInSlot_.Clear();
  client_->SetRetry(retryMs);
  client_->SetDownloadState(state);
}

void CTARNNetPeerDownload::ForgetOutstanding(File& file) {
  const std::vector<std::pair<uint64_t, uint64_t>> ranges = outstanding_.Ranges();
  outstanding_.Clear();
  client_->SetRequest({});
  const auto data = file.Data();
  for (size_t first = 0; first < ranges.size(); first += RequestRecord::kPairs) {
    RequestRecord stillAsked;
    for (size_t i = 0; i < RequestRecord::kPairs && first + i < ranges.size(); ++i) {
      stillAsked.start[i] = ranges[first + i].first;
      stillAsked.end[i] = ranges[first + i].second;
    }
    data->ForgetRequest(stillAsked);
  }
}

std::vector<uint8_t> CTARNNetPeerDownload::AvailabilityBitmap(File& file) const {
  std::optional<std::vector<uint8_t>> parts = client_->GetAvailability();
  const uint32_t count = file.PartCount();
  if (!parts || parts->empty()) return std::vector<uint8_t>(count, 1);
  parts->resize(count, 0);
  return *parts;
}

bool CTARNNetPeerDownload::OffersNeededPart(File& file) const {
  const std::vector<uint8_t> offered = AvailabilityBitmap(file);
  CLock guard(file.LockObject());
  const std::vector<uint8_t>& complete = file.CompletionBitmap();
  for (size_t part = 0; part < offered.size(); ++part)
    if (offered[part] && (part >= complete.size() || complete[part] == 0)) return true;
  return false;
}

void CTARNNetPeerDownload::CountAvailabilityOut(File& file) {
  if (!availabilityCounted_) return;
  file.Data()->CountSourceOut(AvailabilityBitmap(file));
  availabilityCounted_ = false;
}

}  // namespace P2P
