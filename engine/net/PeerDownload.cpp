#include "engine/net/PeerDownload.h"

#include <algorithm>

#include "engine/download/DownloadFileData.h"
#include "engine/hashing/HashConstants.h"
#include "engine/net/PeerFiles.h"
#include "engine/protocol/Limits.h"
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

// The part count a file status or hash set names next in `reader`, without reading it.
uint32_t CountAhead(const CStreamReader& reader) {
  CStreamReader peek(reader.Rest());
  uint16_t count = 0;
  return peek.ReadUInt16(count) ? count : 0;
}

// A source whose part count is not the download's has the file with another size: the download
// is told, and fails once every source is so.
void TellSizeDisagreement(Shared::File::TransferFile::CTARNNetTransferFile& file, uint32_t source,
                          uint32_t theirParts, uint32_t ourParts) {
  if (theirParts == 0 || theirParts == ourParts) return;
  if (const auto download = file.DataAs<Shared::File::TransferFile::CTARNNetDownloadFileData>())
    download->NoteSizeDisagreement(source, theirParts, ourParts);
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
  if (const FilePtr file = KnownFileOr(context_, link_, payload, false)) {
    TakeAichRoot(*file, payload.subspan(_tagUnionHash::kSize));
    // A part waiting for recovery data need not wait for the upload grant.
    AskForAwaitedRecovery(*file);
  }
}

void CTARNNetPeerDownload::StartFileRequest(bool openSession) {
  const _tagUnionHash hash = client_->GetRequestedFile();
  const FilePtr file = hash.IsZero() ? FilePtr() : context_.FindFile(hash);
  const auto data = file ? file->Data() : nullptr;
  const bool idle = data && (data->IsFinished() || data->IsPaused() || data->IsStopped());
  // A download that is paused or stopped changes nothing on a session that stays open.
  if (openSession && idle) return;
  client_->SetDownloadState(Client::kDownloadRequesting);
  if (!file) return;
  if (!MayAskFor(*file)) {
    // As good as a client without the file: no use to this download.
    client_->SetDownloadState(Client::kDownloadIdle);
    link_.Close();
    return;
  }
  if (!openSession) NoteSourceRecord(*file, Remote::Peer::EPeerHolds::kUnknown);
  const uint32_t capabilities = client_->GetCapabilities();
  const SPartStatus status = PartStatusOf(*file);
  // Sources are asked of one client once in 40 minutes, and only while the download wants
  // more of them.
  const bool askSources = SourceExchangeVersion(capabilities) != 0 && !idle &&
                          file->GetSourceCount() < kMaxSourcesPerDownload &&
                          client_->TakeSourceAsk(hash);
  if (openSession && MultiPacketSupport(capabilities)) {
    link_.SendPacket(kProtocolExtended, kOpMultiPacket,
                     BuildMultiPacketFileRequest(hash, capabilities, status, file->GetSecondCount(),
                                                 Multipart(*file), askSources));
    return;
  }
  link_.SendPacket(kProtocolEDonkey, kOpRequestFileName,
                   BuildFileNameRequest(hash, capabilities, status, file->GetSecondCount()));
  // A one-part file needs no status: the file name answer moves on.
  if (Multipart(*file)) SendHash(kProtocolEDonkey, kOpSetRequestedFile, hash);
  if (askSources) SendHash(kProtocolExtended, kOpRequestSources, hash);
  if (AichVersion(capabilities) != 0) SendHash(kProtocolExtended, kOpAichFileHashRequest, hash);
}

bool CTARNNetPeerDownload::MayAskFor(File& file) const {
  return file.GetSize() <= kMaxSmallFileSize || client_->GetIdentity().SupportsLargeFiles();
}

void CTARNNetPeerDownload::OnAskerParts(File& file, const SAskerParts& asker) {
  if (file.GetHash() != client_->GetRequestedFile()) return;
  if (asker.state == SAskerParts::EState::kUnreadable) {
    client_->SetDownloadState(Client::kDownloadIdle);
    return;
  }
  if (asker.state != SAskerParts::EState::kRead) return;
  const bool counted = availabilityCounted_;
  CountAvailabilityOut(file);
  client_->SetAvailability(asker.parts);
  // Counted in the frequencies while a transfer runs: the new parts replace the old there too.
  if (counted) {
    file.Data()->CountSourceIn(AvailabilityBitmap(file));
    availabilityCounted_ = true;
  }
}

void CTARNNetPeerDownload::NoteSourceRecord(File& file, Remote::Peer::EPeerHolds holds) {
  const _tagUnionHash user = client_->GetIdentity().userHash;
  CLock guard(file.LockObject());
  file.Sources().Update(client_->GetAddress(), user, holds);
}

void CTARNNetPeerDownload::TakeOtherName(File& file, const std::string& name) {
  if (file.Data()->IsFinished() || name.empty() || name == file.GetName()) return;
  file.SetOtherName(name);
}

bool CTARNNetPeerDownload::IsOurself(const _tagStructPeerSource& source) const {
  const _tagStructClientConfig& own = context_.own;
  if (!source.userHash.IsZero() && source.userHash == own.userHash) return true;
  if (source.port != own.tcpPort) return false;
  return (own.clientId != 0 && source.clientId == own.clientId) ||
         source.clientId == context_.publicAddress.load();
}

bool CTARNNetPeerDownload::TakeSources(File& file, CStreamReader& reader) {
  std::vector<_tagStructPeerSource> sources;
  if (!ReadSources(reader, SourceExchangeVersion(client_->GetCapabilities()) > 1, sources))
    return false;
  const auto data = file.Data();
  if (data->IsFinished() || data->IsPaused()) return true;
  // Two low ids cannot reach each other, not even through a server.
  const bool weAreLow = IsPeerLowId(context_.publicAddress.load());
  for (const _tagStructPeerSource& source : sources) {
    if ((weAreLow && IsPeerLowId(source.clientId)) || IsOurself(source)) continue;
    data->AddSource(source.clientId, source.port, source.serverAddress, source.serverPort,
                    source.userHash);
  }
  return true;
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
  if (!file) return;
  TakeOtherName(*file, name);
  if (file->GetHash() != client_->GetRequestedFile() || Multipart(*file)) return;
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
  const uint32_t theirParts = CountAhead(reader);
  std::optional<std::vector<uint8_t>> parts = ReadPartStatus(reader, file.GetSize());
  if (!parts) {
    // A client that miscounts the parts is of no use; it is not asked again.
    client_->SetAvailability(std::nullopt);
    client_->SetDownloadState(Client::kDownloadIdle);
    link_.Close();
    TellSizeDisagreement(file, client_->GetAddress(), theirParts,
                         StatusPartCount(file.GetSize()));
    return;
  }
  const bool whole =
      parts->empty() || std::all_of(parts->begin(), parts->end(), [](uint8_t p) { return p; });
  const bool some = whole || std::any_of(parts->begin(), parts->end(), [](uint8_t p) { return p; });
  client_->SetAvailability(std::move(*parts));
  NoteSourceRecord(file,
                   some ? Remote::Peer::EPeerHolds::kParts : Remote::Peer::EPeerHolds::kNothing);
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
  const uint32_t theirParts = CountAhead(reader);
  if (theirParts != 0 && theirParts != HASH::HashSetCount(file->GetSize())) {
    // A hash set of another part count belongs to another size: the source is of no use.
    client_->SetDownloadState(Client::kDownloadIdle);
    link_.Close();
    TellSizeDisagreement(*file, client_->GetAddress(), theirParts,
                         HASH::HashSetCount(file->GetSize()));
    return;
  }
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
  // A new slot: the sender remembers nothing of the last one.
  askedInSlot_.Clear();
  for (const auto& [start, end] : outstanding_.Ranges()) askedInSlot_.TakeNew(start, end);
  if (outstanding_.Size() != 0) {
    SendBlockRequest(*file, client_->GetRequest());
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
  askedInSlot_.Clear();
  if (const FilePtr file = RequestedFile()) ForgetOutstanding(*file);
}

void CTARNNetPeerDownload::End() {
  const FilePtr file = RequestedFile();
  if (!file) return;
  file->Data()->RemoveTransferring(client_.Get());
  CountAvailabilityOut(*file);
  const uint32_t state = client_->GetDownloadState();
  if (state != Client::kDownloadQueued && state != Client::kDownloadReask)
    client_->SetAvailability(std::nullopt);
  ForgetOutstanding(*file);
  askedInSlot_.Clear();
}

void CTARNNetPeerDownload::Rebind(Client::CClientPtr client) {
  client_ = std::move(client);
  availabilityCounted_ = false;
  recoveryAsked_.clear();
  askedInSlot_.Clear();
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
      std::string name;
      if (!ReadFileName(reader, name)) return;
      TakeOtherName(*file, name);
      if (!Multipart(*file) && file->GetHash() == client_->GetRequestedFile())
        OnSinglePartAnswered(*file);
    } else if (opcode == kOpAnswerSources) {
      if (!TakeSources(*file, reader)) return;
    } else if (opcode == kOpAichFileHashAnswer) {
      std::span<const uint8_t> root;
      if (!reader.ReadView(HASH::_tagStructAICHHash::kSize, root)) return;
      TakeAichRoot(*file, root);
      AskForAwaitedRecovery(*file);
    } else {
      return;  // the rest cannot be framed
    }
  }
}

void CTARNNetPeerDownload::OnAnswerSources(std::span<const uint8_t> payload) {
  const FilePtr file = KnownFileOr(context_, link_, payload, false);
  if (!file) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  TakeSources(*file, reader);
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
  if (download == nullptr) return;
  const bool changed = download->RecheckParts();
  // The next part waiting for recovery data is asked for now, not at the next grant.
  AskForAwaitedRecovery(*file);
  if (!changed) return;
  // A session that gave up for want of blocks asks for the upload again; one still waiting
  // for its grant takes the blocks with the grant.
  const uint32_t state = client_->GetDownloadState();
  const bool gaveUp =
      state == Client::kDownloadNothingNow || state == Client::kDownloadNothingNeeded;
  if (link_.IsOpen() && gaveUp && outstanding_.Size() == 0 && OffersNeededPart(*file))
    SendHash(kProtocolEDonkey, kOpStartUploadRequest, file->GetHash());
}

}  // namespace P2P
