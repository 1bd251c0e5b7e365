#include "engine/net/PeerDownload.h"

#include <algorithm>

#include "engine/download/DownloadFileData.h"
#include "engine/hashing/HashConstants.h"
#include "engine/net/PeerFiles.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerFileMessages.h"
#include "framework/CriticalSection.h"
#include "framework/TickSource.h"

namespace P2P {

using namespace Protocol;
using OSTREL::Process::CLock;

namespace {

constexpr uint32_t kRetryNothingNeeded = 10000;

bool Multipart(Shared::File::TransferFile::CTARNNetTransferFile& file) {
  return file.PartCount() > 1;
}

bool NeedsHashSet(Shared::File::TransferFile::CTARNNetTransferFile& file) {
  CLock guard(file.LockObject());
  return Multipart(file) && !file.HashSet().HashList().Matches(file.GetHash());
}

}  // namespace

CTARNNetPeerDownload::CTARNNetPeerDownload(CPeerSessionContext& context, ITARNNetPeerLink& link,
                                           Client::CClientPtr client)
    : context_(context),
      link_(link),
      client_(std::move(client)),
      rateTick_(OSTREL::Process::CTickSource::Now()) {}

void CTARNNetPeerDownload::OnOutOfPartRequests() {
  if (const FilePtr file = RequestedFile()) ForgetOutstanding(*file);
}

void CTARNNetPeerDownload::OnAichFileHashAnswer(std::span<const uint8_t> payload) {
  if (const FilePtr file = KnownFileOr(context_, link_, payload, false))
    TakeAichRoot(*file, payload.subspan(_tagUnionHash::kSize));
}

void CTARNNetPeerDownload::StartFileRequest(bool openSession) {
  client_->SetDownloadState(Client::kDownloadRequesting);
  const _tagUnionHash hash = client_->GetRequestedFile();
  if (hash.IsZero()) return;
  const FilePtr file = context_.FindFile(hash);
  if (!file) return;
  if (const auto data = file->Data();
      openSession && (data->IsFinished() || data->IsPaused() || data->IsStopped()))
    return;
  const uint32_t capabilities = client_->GetCapabilities();
  const SPartStatus status = PartStatusOf(*file);
  if (openSession && MultiPacketSupport(capabilities)) {
    link_.SendPacket(kProtocolExtended, kOpMultiPacket,
                     BuildMultiPacketFileRequest(hash, capabilities, status, file->GetSecondCount(),
                                                 Multipart(*file)));
    return;
  }
  link_.SendPacket(kProtocolEDonkey, kOpRequestFileName,
                   BuildFileNameRequest(hash, capabilities, status, file->GetSecondCount()));
  // A one-part file needs no status: the file name answer moves on.
  if (Multipart(*file)) SendHash(kProtocolEDonkey, kOpSetRequestedFile, hash);
  if (SourceExchangeVersion(capabilities) != 0)
    SendHash(kProtocolExtended, kOpRequestSources, hash);
  if (AichVersion(capabilities) != 0) SendHash(kProtocolExtended, kOpAichFileHashRequest, hash);
}

void CTARNNetPeerDownload::OnFileNotFound(std::span<const uint8_t> payload) {
  if (payload.size() < _tagUnionHash::kSize) return;
  client_->SetDownloadState(Client::kDownloadIdle);
  link_.Close();
}

void CTARNNetPeerDownload::OnFileNameAnswer(std::span<const uint8_t> payload) {
  CStreamReader reader(payload);
  _tagUnionHash hash;
  std::string name;
  if (!reader.ReadHash(hash) || !ReadFileName(reader, name)) return;
  const FilePtr file = KnownFileOr(context_, link_, payload, false);
  if (!file || file->GetHash() != client_->GetRequestedFile()) return;
  if (Multipart(*file)) return;
  OnSinglePartAnswered(*file);
}

void CTARNNetPeerDownload::OnSinglePartAnswered(File& file) {
  CountAvailabilityOut(file);
  client_->SetAvailability(std::nullopt);
  AskForHashSetOrUpload(file);
}

void CTARNNetPeerDownload::OnFileStatus(std::span<const uint8_t> payload) {
  const FilePtr file = KnownFileOr(context_, link_, payload, false);
  if (!file) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  ApplyFileStatus(*file, reader);
}

void CTARNNetPeerDownload::ApplyFileStatus(File& file, CStreamReader& reader) {
  if (file.GetHash() != client_->GetRequestedFile()) return;
  CountAvailabilityOut(file);
  std::optional<std::vector<uint8_t>> parts = ReadPartStatus(reader, file.GetSize());
  if (!parts) {
    // A client that miscounts the parts is of no use; it is not asked again.
    client_->SetAvailability(std::nullopt);
    client_->SetDownloadState(Client::kDownloadIdle);
    link_.Close();
    return;
  }
  const bool whole =
      parts->empty() || std::all_of(parts->begin(), parts->end(), [](uint8_t p) { return p; });
  client_->SetAvailability(std::move(*parts));
  if (!OffersNeededPart(file)) {
    link_.SendPacket(kProtocolEDonkey, kOpCancelTransfer);
    client_->SetRetry(kRetryNothingNeeded);
    client_->SetDownloadState(Client::kDownloadNothingNeeded);
    return;
  }
  AskForHashSetOrUpload(file);
  if (whole) file.Data()->AddTransferring(client_.Get());
}

void CTARNNetPeerDownload::AskForHashSetOrUpload(File& file) {
  if (NeedsHashSet(file))
    SendHash(kProtocolEDonkey, kOpHashSetRequest, file.GetHash());
  else
    SendHash(kProtocolEDonkey, kOpStartUploadRequest, file.GetHash());
}

void CTARNNetPeerDownload::OnHashSetAnswer(std::span<const uint8_t> payload) {
  const FilePtr file = KnownFileOr(context_, link_, payload, false);
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
  SendHash(kProtocolEDonkey, kOpStartUploadRequest, file->GetHash());
}

void CTARNNetPeerDownload::OnAcceptUpload() {
  const FilePtr file = RequestedFile();
  if (!file) {
    link_.Close();
    return;
  }
  if (outstanding_.Size() != 0) {
    const RequestRecord request = client_->GetRequest();
    link_.SendPacket(kProtocolEDonkey, kOpRequestParts,
                     BuildRequestParts(file->GetHash(), request.start, request.end));
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

void CTARNNetPeerDownload::OnQueueRank(int32_t rank) {
  client_->SetDownloadState(Client::kDownloadQueued);
  client_->SetRemoteQueueRank(rank);
  link_.SetIdleLimit(kQueuedIdleTimeout);
  if (const FilePtr file = RequestedFile()) ForgetOutstanding(*file);
}

void CTARNNetPeerDownload::End() {
  const FilePtr file = RequestedFile();
  if (!file) return;
  file->Data()->RemoveTransferring(client_.Get());
  CountAvailabilityOut(*file);
  client_->SetAvailability(std::nullopt);
  ForgetOutstanding(*file);
}

void CTARNNetPeerDownload::OnMultiPacketAnswer(std::span<const uint8_t> payload) {
  const FilePtr file = KnownFileOr(context_, link_, payload, false);
  if (!file) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  uint8_t opcode = 0;
  while (link_.IsOpen() && reader.ReadUInt8(opcode)) {
    if (opcode == kOpFileStatus) {
      ApplyFileStatus(*file, reader);
    } else if (opcode == kOpFileNameAnswer) {
      uint16_t length = 0;
      std::span<const uint8_t> name;
      if (!reader.ReadUInt16(length) || !reader.ReadView(length, name)) return;
      if (!Multipart(*file) && file->GetHash() == client_->GetRequestedFile())
        OnSinglePartAnswered(*file);
    } else if (opcode == kOpAichFileHashAnswer) {
      std::span<const uint8_t> root;
      if (!reader.ReadView(HASH::_tagStructAICHHash::kSize, root)) return;
      TakeAichRoot(*file, root);
    } else {
      return;  // the rest cannot be framed
    }
  }
}

void CTARNNetPeerDownload::OnAnswerSources(std::span<const uint8_t> payload) {
  const FilePtr file = KnownFileOr(context_, link_, payload, false);
  if (!file) return;
  const auto data = file->Data();
  if (data->IsFinished() || data->IsPaused()) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  std::vector<_tagStructPeerSource> sources;
  if (!ReadSources(reader, SourceExchangeVersion(client_->GetCapabilities()) > 1, sources)) return;
  const bool weAreLow = IsPeerLowId(context_.publicAddress.load());
  for (const _tagStructPeerSource& source : sources) {
    if (weAreLow && IsPeerLowId(source.clientId)) continue;
    data->AddSource(source.clientId, source.port, source.serverAddress, source.serverPort);
  }
}

void CTARNNetPeerDownload::TakeAichRoot(File& file, std::span<const uint8_t> root) {
  HASH::_tagStructAICHHash hash;
  if (root.size() < hash.bytes.size()) return;
  std::copy_n(root.begin(), hash.bytes.size(), hash.bytes.begin());
  CLock guard(file.LockObject());
  HASH::CTARNNetFileHashSet& hashes = file.HashSet();
  if (hashes.GetRootHash() == nullptr)
    hashes.SetRootHash(hash, HASH::CTARNNetFileHashSet::kStatusTrusted);
}

void CTARNNetPeerDownload::OnAichAnswer(std::span<const uint8_t> payload) {
  const std::optional<SAichPartMessage> message =
      ReadAichPartMessage(context_, link_, payload, false);
  if (!message) return;
  const FilePtr& file = message->file;
  {
    CLock guard(file->LockObject());
    HASH::CTARNNetFileHashSet& hashes = file->HashSet();
    CStreamReader recovery(message->rest);
    if (message->part >= file->PartCount() || !hashes.CompareRootHash(message->root) ||
        !hashes.ApplyRecoveryData(message->part, recovery))
      return;
  }
  // A part that failed its MD4 can now tell its bad blocks; only those are fetched again.
  const auto download = file->DataAs<Shared::File::TransferFile::CTARNNetDownloadFileData>();
  if (download == nullptr || !download->RecheckParts()) return;
  // A session that gave up for want of blocks asks for the upload again; one still waiting
  // for its grant takes the blocks with the grant.
  const uint32_t state = client_->GetDownloadState();
  const bool gaveUp =
      state == Client::kDownloadNothingNow || state == Client::kDownloadNothingNeeded;
  if (link_.IsOpen() && gaveUp && outstanding_.Size() == 0 && OffersNeededPart(*file))
    SendHash(kProtocolEDonkey, kOpStartUploadRequest, file->GetHash());
}

}  // namespace P2P
