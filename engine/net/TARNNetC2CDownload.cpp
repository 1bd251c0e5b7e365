// The download side of a peer session: asking the remote client for the requested file, its
// parts and hash set, waiting for the upload grant, and the block request cycle that takes
// received data (plain or packed) into the download. Split from TARNNetC2CTCPConnecter.cpp.
#include <algorithm>

#include "engine/download/DownloadFileData.h"
#include "engine/hashing/HashConstants.h"
#include "engine/net/PausedReaderRegistry.h"
#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "framework/CriticalSection.h"
#include "framework/TickSource.h"

namespace P2P {

using namespace Protocol;
using OSTREL::Process::CLock;
using Shared::File::TransferFile::_tagStructReceivedData;
using Shared::File::TransferFile::CTARNNetTransferBlock;

namespace {

// Three blocks of 184320 bytes per source: below this much left, slow sources get fewer.
constexpr uint32_t kBytesPerSourceForFullRequest = 3 * HASH::kAICHBlockSize;
constexpr uint32_t kRetryNothingNeeded = 10000;
constexpr uint32_t kRetryNothingNow = 5000;
// With fewer blocks than this outstanding, the next request is sent.
constexpr size_t kPipelineRefillBelow = 3;

bool Multipart(CTARNNetTransferFile& file) { return file.PartCount() > 1; }

bool NeedsHashSet(CTARNNetTransferFile& file) {
  CLock guard(file.LockObject());
  return Multipart(file) && !file.HashSet().HashList().Matches(file.GetHash());
}

}  // namespace

void CTARNNetC2CTCPConnecterT::RequestFileAgain() {
  if (IsOpen()) StartFileRequest(true);
}

void CTARNNetC2CTCPConnecterT::AppendFileNameRequest(CStreamWriter& writer,
                                                     CTARNNetTransferFile& file) {
  writer.WriteHash(file.GetHash());
  const uint32_t version = ExtendedRequestVersion(client_->GetCapabilities());
  if (version == 0) return;
  AppendPartStatus(writer, file);
  if (version > 1) writer.WriteUInt16(static_cast<uint16_t>(std::min<uint32_t>(
                       file.GetSecondCount(), 0xFFFF)));
}

void CTARNNetC2CTCPConnecterT::StartFileRequest(bool openSession) {
  client_->SetDownloadState(Client::kDownloadRequesting);
  const _tagUnionHash hash = client_->GetRequestedFile();
  if (hash.IsZero()) return;
  CTransferFilePtr file = FindFile(hash);
  if (!file) return;
  if (const auto data = file->Data();
      openSession && (data->IsFinished() || data->IsPaused() || data->IsStopped()))
    return;
  const uint32_t capabilities = client_->GetCapabilities();
  if (openSession && MultiPacketSupport(capabilities)) {
    std::vector<uint8_t> payload;
    CStreamWriter writer(payload);
    writer.WriteHash(hash);
    writer.WriteUInt8(kOpRequestFileName);
    std::vector<uint8_t> request;
    CStreamWriter requestWriter(request);
    AppendFileNameRequest(requestWriter, *file);
    writer.WriteBytes(std::span(request).subspan(_tagUnionHash::kSize));
    if (Multipart(*file)) writer.WriteUInt8(kOpSetRequestedFile);
    if (SourceExchangeVersion(capabilities) != 0) writer.WriteUInt8(kOpRequestSources);
    if (AichVersion(capabilities) != 0) writer.WriteUInt8(kOpAichFileHashRequest);
    SendPacket(kProtocolExtended, kOpMultiPacket, payload);
    return;
  }
  std::vector<uint8_t> request;
  CStreamWriter requestWriter(request);
  AppendFileNameRequest(requestWriter, *file);
  SendPacket(kProtocolEDonkey, kOpRequestFileName, request);
  // A one-part file needs no status: the file name answer moves on.
  if (Multipart(*file)) SendHashPacket(kProtocolEDonkey, kOpSetRequestedFile, hash);
  if (SourceExchangeVersion(capabilities) != 0)
    SendHashPacket(kProtocolExtended, kOpRequestSources, hash);
  if (AichVersion(capabilities) != 0)
    SendHashPacket(kProtocolExtended, kOpAichFileHashRequest, hash);
}

void CTARNNetC2CTCPConnecterT::OnFileNameAnswer(std::span<const uint8_t> payload) {
  CStreamReader reader(payload);
  _tagUnionHash hash;
  std::string name;
  if (!reader.ReadHash(hash) || !ReadFileName(reader, name)) return;
  CTransferFilePtr file = KnownFileOr(payload, false);
  if (!file || file->GetHash() != client_->GetRequestedFile()) return;
  if (Multipart(*file)) return;
  CountAvailabilityOut(*file);
  client_->SetAvailability(std::nullopt);
  AskForHashSetOrUpload(*file);
}

void CTARNNetC2CTCPConnecterT::OnFileStatus(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, false);
  if (!file) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  ApplyFileStatus(*file, reader);
}

void CTARNNetC2CTCPConnecterT::ApplyFileStatus(CTARNNetTransferFile& file, CStreamReader& reader) {
  if (file.GetHash() != client_->GetRequestedFile()) return;
  CountAvailabilityOut(file);
  std::optional<std::vector<uint8_t>> parts = ReadPartStatus(reader, file.GetSize());
  if (!parts) {
    // A client that miscounts the parts is of no use; it is not asked again.
    client_->SetAvailability(std::nullopt);
    client_->SetDownloadState(Client::kDownloadIdle);
    Close(true);
    return;
  }
  const bool whole =
      parts->empty() || std::all_of(parts->begin(), parts->end(), [](uint8_t p) { return p; });
  client_->SetAvailability(std::move(*parts));
  if (!OffersNeededPart(file)) {
    SendPacket(kProtocolEDonkey, kOpCancelTransfer);
    client_->SetRetry(kRetryNothingNeeded);
    client_->SetDownloadState(Client::kDownloadNothingNeeded);
    return;
  }
  AskForHashSetOrUpload(file);
  if (whole) file.Data()->AddTransferring(client_.Get());
}

void CTARNNetC2CTCPConnecterT::AskForHashSetOrUpload(CTARNNetTransferFile& file) {
  if (NeedsHashSet(file))
    SendHashPacket(kProtocolEDonkey, kOpHashSetRequest, file.GetHash());
  else
    SendHashPacket(kProtocolEDonkey, kOpStartUploadRequest, file.GetHash());
}

void CTARNNetC2CTCPConnecterT::OnHashSetAnswer(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, false);
  if (!file) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  {
    CLock guard(file->LockObject());
    HASH::MD4_HASH::CTARNNetHashList offered;
    offered.SetFileSize(file->GetSize());
    // Only a hash set that derives the file hash is taken; a wrong one is never stored.
    HASH::MD4_HASH::CTARNNetHashList& held = file->HashSet().HashList();
    if (offered.ReadHashSet(reader) && offered.Matches(file->GetHash()) &&
        !held.Matches(file->GetHash())) {
      held.Clear();
      for (const _tagUnionHash& hash : offered) held.Add(hash);
    }
  }
  SendHashPacket(kProtocolEDonkey, kOpStartUploadRequest, file->GetHash());
}

void CTARNNetC2CTCPConnecterT::OnAcceptUpload() {
  CTransferFilePtr file = FindFile(client_->GetRequestedFile());
  if (!file) {
    Close(true);
    return;
  }
  if (outstanding_.Size() != 0) {
    std::vector<uint8_t> payload;
    CStreamWriter writer(payload);
    writer.WriteHash(file->GetHash());
    client_->GetRequest().Write(writer);
    SendPacket(kProtocolEDonkey, kOpRequestParts, payload);
    client_->SetDownloadState(Client::kDownloadBlocksRequested);
    return;
  }
  if (!availabilityCounted_) {
    file->Data()->CountSourceIn(AvailabilityBitmap(*file));
    availabilityCounted_ = true;
  }
  if (!OffersNeededPart(*file)) {
    GiveUp(*file, kRetryNothingNeeded, Client::kDownloadNothingNeeded);
    return;
  }
  AskForAwaitedRecovery(*file);
  RequestBlocks(*file);
}

uint32_t CTARNNetC2CTCPConnecterT::BlocksWanted(CTARNNetTransferFile& file) {
  const uint32_t now = OSTREL::Process::CTickSource::Now();
  const uint32_t elapsed = now - rateTick_ == 0 ? 1000 : now - rateTick_;
  const uint64_t rate = uint64_t{bytesSinceRate_} * 1000 / elapsed;
  rateTick_ = now;
  bytesSinceRate_ = 0;
  const uint64_t plenty = uint64_t{file.GetSourceCount()} * kBytesPerSourceForFullRequest;
  if (file.Data()->RemainingBytes() > plenty) return 3;
  return rate < 10240 ? 1 : rate < 20480 ? 2 : 3;
}

void CTARNNetC2CTCPConnecterT::RequestBlocks(CTARNNetTransferFile& file) {
  RequestRecord request;
  const uint32_t chosen = file.Data()->ChooseBlocks(AvailabilityBitmap(file), request,
                                                    BlocksWanted(file), outstanding_.Ranges());
  if (chosen == 0 || request.IsEmpty()) {
    // What this source still owes us may be all there is left: wait for it.
    if (outstanding_.Size() == 0) GiveUp(file, kRetryNothingNow, Client::kDownloadNothingNow);
    return;
  }
  for (size_t i = 0; i < RequestRecord::kPairs && i < chosen; ++i)
    if (request.UsedPair(i)) outstanding_.Add(request.start[i], request.end[i]);
  client_->SetRequest(request);
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteHash(file.GetHash());
  request.Write(writer);
  SendPacket(kProtocolEDonkey, kOpRequestParts, payload);
  client_->SetDownloadState(Client::kDownloadBlocksRequested);
}

void CTARNNetC2CTCPConnecterT::OnData(std::span<const uint8_t> payload, bool packed) {
  _tagStructDataPacket packet;
  if (!(packed ? ReadCompressedPart(payload, packet) : ReadSendingPart(payload, packet))) return;
  CTransferFilePtr file = FindFile(packet.file);
  if (!file || packet.file != client_->GetRequestedFile()) {
    Close(true);
    return;
  }
  client_->SetDownloadState(Client::kDownloadReceiving);
  const auto data = file->Data();
  if (data->IsFinished()) {
    SendHashPacket(kProtocolEDonkey, kOpEndOfDownload, packet.file);
    Close(true);
    return;
  }
  if (data->IsPaused() || data->IsStopped()) return;
  // Packed data names only its block's start; the inflated bytes are bounded by the block.
  // Several requests may be in flight, so the block is looked up among all outstanding ones.
  CTARNNetTransferBlock* block = packed ? outstanding_.FindStartingAt(packet.start)
                                        : outstanding_.FindCovering(packet.start, packet.endOrPacked);
  if (!block) {
    if (!InsideLastRequest(packet, packed)) GiveUp(*file, kRetryNothingNow, Client::kDownloadNothingNow);
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
  PaceReceiving(newBytes);
  // Bytes a peer gave us count for its credit with us.
  if (CTARNNetUploadService* service = uploadService_.load())
    service->OnDataReceived(client_->GetIdentity().userHash, newBytes);
  if (!block->IsComplete()) {
    data->AcceptData(_tagStructReceivedData{nullptr, newBytes});
    return;
  }
  const uint32_t part = block->Start() / HASH::kPartSize;
  const bool lastOfPart = IsLastRequiredOfPart(*file, *block);
  data->AcceptData(_tagStructReceivedData{block, newBytes});
  outstanding_.Remove(block);
  if (lastOfPart && PartFailed(*file, part)) AskForRecoveryData(*file, part);
  if (IsOpen()) AfterBlockCompleted(*file);
}

// "Max Download": the data peers send us draws on one shared allowance. A session that puts it
// in debt stops reading until the debt is paid, and TCP holds its sender back meanwhile.
void CTARNNetC2CTCPConnecterT::PaceReceiving(uint32_t bytes) {
  CTARNNetUploadService* service = uploadService_.load();
  if (service == nullptr) return;
  const uint32_t waitMs = service->DownloadLimiter().Spend(bytes);
  if (waitMs == 0) return;
  // Paused before it is listed, so that a resume cannot come first and be lost.
  PauseReceiving(true);
  PausedReaders().Add(this);
  service->ResumeReadingAfter(waitMs);
}

bool CTARNNetC2CTCPConnecterT::InsideLastRequest(const _tagStructDataPacket& packet,
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

bool CTARNNetC2CTCPConnecterT::IsLastRequiredOfPart(CTARNNetTransferFile& file,
                                                    const CTARNNetTransferBlock& block) {
  const uint32_t part = block.Start() / HASH::kPartSize;
  const uint32_t partStart = HASH::PartStart(part);
  const uint32_t partEnd = partStart + HASH::PartLength(file.GetSize(), part);
  CLock guard(file.LockObject());
  const auto download = file.DataAs<Shared::File::TransferFile::CTARNNetDownloadFileData>();
  if (download == nullptr) return false;
  const auto& required = download->Blocks().Required();
  return !required.Overlaps(partStart, block.Start()) && !required.Overlaps(block.End(), partEnd);
}

bool CTARNNetC2CTCPConnecterT::PartFailed(CTARNNetTransferFile& file, uint32_t part) {
  const uint32_t partStart = HASH::PartStart(part);
  const uint32_t partEnd = partStart + HASH::PartLength(file.GetSize(), part);
  CLock guard(file.LockObject());
  const auto download = file.DataAs<Shared::File::TransferFile::CTARNNetDownloadFileData>();
  if (download == nullptr || file.Data()->IsFinished()) return false;
  const std::vector<uint8_t>& complete = file.CompletionBitmap();
  const bool done = part < complete.size() && complete[part] != 0;
  return !done && (download->Blocks().Required().Overlaps(partStart, partEnd) ||
                   download->Blocks().AwaitsRecovery(part));
}

void CTARNNetC2CTCPConnecterT::AskForAwaitedRecovery(CTARNNetTransferFile& file) {
  if (AichVersion(client_->GetCapabilities()) == 0) return;
  std::vector<uint32_t> awaited;
  {
    CLock guard(file.LockObject());
    const auto download = file.DataAs<Shared::File::TransferFile::CTARNNetDownloadFileData>();
    if (download == nullptr) return;
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

void CTARNNetC2CTCPConnecterT::AskForRecoveryData(CTARNNetTransferFile& file, uint32_t part) {
  if (AichVersion(client_->GetCapabilities()) == 0 || part > 0xFFFF) return;
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteHash(file.GetHash());
  writer.WriteUInt16(static_cast<uint16_t>(part));
  {
    CLock guard(file.LockObject());
    const HASH::CTARNNetFileHashSet& hashes = file.HashSet();
    const HASH::_tagStructAICHHash* root = hashes.GetRootHash();
    // Recovery data is only worth asking for against a root we trust.
    if (root == nullptr || hashes.GetStatus() < HASH::CTARNNetFileHashSet::kStatusTrusted ||
        hashes.IsRangeVerified(HASH::PartStart(part), HASH::PartStart(part) + 1))
      return;
    writer.WriteBytes(root->bytes);
  }
  SendPacket(kProtocolExtended, kOpAichRequest, payload);
}

void CTARNNetC2CTCPConnecterT::AfterBlockCompleted(CTARNNetTransferFile& file) {
  if (!OffersNeededPart(file)) {
    GiveUp(file, kRetryNothingNeeded, Client::kDownloadNothingNeeded);
    return;
  }
  // The next request goes out while the current one still has blocks to come, so the
  // link never idles between requests.
  if (outstanding_.Size() >= kPipelineRefillBelow) return;
  RequestBlocks(file);
}

void CTARNNetC2CTCPConnecterT::GiveUp(CTARNNetTransferFile& file, uint32_t retryMs,
                                      uint32_t state) {
  if (file.Data()->IsFinished()) {
    SendHashPacket(kProtocolEDonkey, kOpEndOfDownload, file.GetHash());
    Close(true);
  } else {
    SendPacket(kProtocolEDonkey, kOpCancelTransfer);
  }
  ForgetOutstanding(file);
  client_->SetRetry(retryMs);
  client_->SetDownloadState(state);
}

void CTARNNetC2CTCPConnecterT::ForgetOutstanding(CTARNNetTransferFile& file) {
  const std::vector<std::pair<uint32_t, uint32_t>> ranges = outstanding_.Ranges();
  outstanding_.Clear();
  client_->SetRequest({});
  for (size_t first = 0; first < ranges.size(); first += RequestRecord::kPairs) {
    RequestRecord stillAsked;
    for (size_t i = 0; i < RequestRecord::kPairs && first + i < ranges.size(); ++i) {
      stillAsked.start[i] = ranges[first + i].first;
      stillAsked.end[i] = ranges[first + i].second;
    }
    file.Data()->ForgetRequest(stillAsked);
  }
}

std::vector<uint8_t> CTARNNetC2CTCPConnecterT::AvailabilityBitmap(CTARNNetTransferFile& file) const {
  std::optional<std::vector<uint8_t>> parts = client_->GetAvailability();
  const uint32_t count = file.PartCount();
  if (!parts || parts->empty()) return std::vector<uint8_t>(count, 1);
  parts->resize(count, 0);
  return *parts;
}

bool CTARNNetC2CTCPConnecterT::OffersNeededPart(CTARNNetTransferFile& file) const {
  const std::vector<uint8_t> offered = AvailabilityBitmap(file);
  CLock guard(file.LockObject());
  const std::vector<uint8_t>& complete = file.CompletionBitmap();
  for (size_t part = 0; part < offered.size(); ++part)
    if (offered[part] && (part >= complete.size() || complete[part] == 0)) return true;
  return false;
}

void CTARNNetC2CTCPConnecterT::CountAvailabilityOut(CTARNNetTransferFile& file) {
  if (!availabilityCounted_) return;
  file.Data()->CountSourceOut(AvailabilityBitmap(file));
  availabilityCounted_ = false;
}

void CTARNNetC2CTCPConnecterT::EndDownloadSide() {
  CTransferFilePtr file = FindFile(client_->GetRequestedFile());
  if (!file) return;
  file->Data()->RemoveTransferring(client_.Get());
  CountAvailabilityOut(*file);
  client_->SetAvailability(std::nullopt);
  ForgetOutstanding(*file);
}

void CTARNNetC2CTCPConnecterT::OnMultiPacketAnswer(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, false);
  if (!file) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  uint8_t opcode = 0;
  while (IsOpen() && reader.ReadUInt8(opcode)) {
    if (opcode == kOpFileStatus) {
      ApplyFileStatus(*file, reader);
    } else if (opcode == kOpFileNameAnswer) {
      uint16_t length = 0;
      std::span<const uint8_t> name;
      if (!reader.ReadUInt16(length) || !reader.ReadView(length, name)) return;
      if (!Multipart(*file) && file->GetHash() == client_->GetRequestedFile()) {
        CountAvailabilityOut(*file);
        client_->SetAvailability(std::nullopt);
        AskForHashSetOrUpload(*file);
      }
    } else if (opcode == kOpAichFileHashAnswer) {
      std::span<const uint8_t> root;
      if (!reader.ReadView(HASH::_tagStructAICHHash::kSize, root)) return;
      const _tagUnionHash hash = file->GetHash();
      std::vector<uint8_t> single(hash.bytes.begin(), hash.bytes.end());
      single.insert(single.end(), root.begin(), root.end());
      OnAichFileHashAnswer(single);
    } else {
      return;  // the rest cannot be framed
    }
  }
}

void CTARNNetC2CTCPConnecterT::OnAnswerSources(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, false);
  if (!file) return;
  const auto data = file->Data();
  if (data->IsFinished() || data->IsPaused()) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  std::vector<_tagStructPeerSource> sources;
  if (!ReadSources(reader, SourceExchangeVersion(client_->GetCapabilities()) > 1, sources)) return;
  const bool weAreLow = IsPeerLowId(GetPublicAddress());
  for (const _tagStructPeerSource& source : sources) {
    if (weAreLow && IsPeerLowId(source.clientId)) continue;
    data->AddSource(source.clientId, source.port, source.serverAddress, source.serverPort);
  }
}

void CTARNNetC2CTCPConnecterT::OnAichFileHashAnswer(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, false);
  if (!file) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  HASH::_tagStructAICHHash root;
  if (!reader.ReadBytes(root.bytes)) return;
  CLock guard(file->LockObject());
  HASH::CTARNNetFileHashSet& hashes = file->HashSet();
  if (hashes.GetRootHash() == nullptr)
    hashes.SetRootHash(root, HASH::CTARNNetFileHashSet::kStatusTrusted);
}

void CTARNNetC2CTCPConnecterT::OnAichAnswer(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, false);
  if (!file) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  uint16_t part = 0;
  HASH::_tagStructAICHHash root;
  if (!reader.ReadUInt16(part) || !reader.ReadBytes(root.bytes)) return;
  {
    CLock guard(file->LockObject());
    HASH::CTARNNetFileHashSet& hashes = file->HashSet();
    if (part >= file->PartCount() || !hashes.CompareRootHash(root)) return;
    if (!hashes.ApplyRecoveryData(part, reader)) return;
  }
  // A part that failed its MD4 can now tell its bad blocks; only those are fetched again.
  const auto download = file->DataAs<Shared::File::TransferFile::CTARNNetDownloadFileData>();
  if (download == nullptr || !download->RecheckParts()) return;
  // A session that gave up for want of blocks asks for the upload again; one still waiting
  // for its grant takes the blocks with the grant.
  const uint32_t state = client_->GetDownloadState();
  const bool gaveUp = state == Client::kDownloadNothingNow || state == Client::kDownloadNothingNeeded;
  if (IsOpen() && gaveUp && outstanding_.Size() == 0 && OffersNeededPart(*file))
    SendHashPacket(kProtocolEDonkey, kOpStartUploadRequest, file->GetHash());
}

}  // namespace P2P
