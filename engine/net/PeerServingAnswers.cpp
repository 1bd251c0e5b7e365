// The asked half of a session's serving side: what a remote client learns about a file we
// hold, its start-upload request and the checks on the block ranges it asks for.
#include <algorithm>

#include "engine/hashing/HashConstants.h"
#include "engine/net/PeerFiles.h"
#include "engine/net/PeerServing.h"
#include "engine/net/SourceExchange.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerFileMessages.h"
#include "engine/protocol/PeerMessages.h"
#include "framework/CriticalSection.h"

namespace P2P {

using namespace Protocol;
using OSTREL::Process::CLock;

namespace {

bool HasCompletePart(Shared::File::TransferFile::CTARNNetTransferFile& file) {
  if (file.Data()->IsFinished()) return true;
  CLock guard(file.LockObject());
  const std::vector<uint8_t>& complete = file.CompletionBitmap();
  return std::any_of(complete.begin(), complete.end(), [](uint8_t done) { return done != 0; });
}

std::optional<AichRoot> RootOf(Shared::File::TransferFile::CTARNNetTransferFile& file) {
  CLock guard(file.LockObject());
  const HASH::_tagStructAICHHash* root = file.HashSet().GetRootHash();
  if (root == nullptr) return std::nullopt;
  return root->bytes;
}

}  // namespace

bool CTARNNetPeerServing::TakesLargeFiles() const {
  return client_->GetIdentity().SupportsLargeFiles();
}

CTARNNetPeerServing::FilePtr CTARNNetPeerServing::AskedFile(std::span<const uint8_t> payload) {
  return KnownFileOr(context_, link_, payload, true, TakesLargeFiles());
}

void CTARNNetPeerServing::OnUnansweredRequest(std::span<const uint8_t> payload) {
  AskedFile(payload);
}

void CTARNNetPeerServing::RecordAsker(File& file, const SAskerParts& asker) {
  P2P::RecordAsker(file, SourceRecordOf(client_->GetIdentity(), asker));
}

std::optional<std::vector<uint8_t>> CTARNNetPeerServing::SourcesForClient(File& file) {
  const Protocol::_tagStructPeerIdentity identity = client_->GetIdentity();
  // More often than once in 40 minutes for the same file, a client is not answered.
  if (!context_.sourceAsks.MayAnswer(identity.userHash, file.GetHash())) return std::nullopt;
  return SourceAnswer(file, SourceRecordOf(identity, {}),
                      SourceExchangeVersion(identity.capabilities) > 1);
}

void CTARNNetPeerServing::OnRequestSources(std::span<const uint8_t> payload) {
  const FilePtr file = AskedFile(payload);
  if (!file) return;
  if (const auto sources = SourcesForClient(*file))
    link_.SendPacket(kProtocolExtended, kOpAnswerSources,
                     BuildAnswerSources(file->GetHash(), *sources));
}

void CTARNNetPeerServing::OnSetRequestedFile(std::span<const uint8_t> payload) {
  const FilePtr file = AskedFile(payload);
  if (!file) return;
  // A source of ours keeps the file we want from it.
  if (client_->GetRequestedFile().IsZero()) {
    const _tagUnionHash hash = file->GetHash();
    client_->SetRequestedFile(&hash);
  }
  link_.SendPacket(kProtocolEDonkey, kOpFileStatus,
                   BuildFileStatus(file->GetHash(), PartStatusOf(*file)));
}

std::optional<CTARNNetPeerServing::SAskedFile> CTARNNetPeerServing::OnRequestFileName(
    std::span<const uint8_t> payload) {
  const FilePtr file = AskedFile(payload);
  if (!file) return std::nullopt;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  SAskedFile asked{file, {}};
  // The name is answered even when the asker's own status cannot be read.
  ReadFileNameRequestTail(reader, client_->GetCapabilities(), file->GetSize(), asked.asker);
  RecordAsker(*file, asked.asker);
  link_.SendPacket(kProtocolEDonkey, kOpFileNameAnswer,
                   BuildFileNameAnswer(file->GetHash(), file->GetName()));
  return asked;
}

void CTARNNetPeerServing::OnHashSetRequest(std::span<const uint8_t> payload) {
  const FilePtr file = AskedFile(payload);
  if (!file) return;
  std::vector<_tagUnionHash> hashes;
  {
    CLock guard(file->LockObject());
    const HASH::MD4_HASH::CTARNNetHashList& held = file->HashSet().HashList();
    // Only a hash set we could prove ourselves is handed on.
    const uint32_t count = HASH::HashSetCount(file->GetSize());
    if (count == 0 || count > 0xFFFF || !held.Matches(file->GetHash())) return;
    hashes.assign(held.begin(), held.end());
    if (hashes.size() != count) return;
  }
  link_.SendPacket(kProtocolEDonkey, kOpHashSetAnswer,
                   BuildHashSetPayload(file->GetHash(), hashes));
}

void CTARNNetPeerServing::OnStartUploadRequest(std::span<const uint8_t> payload) {
  const FilePtr file = AskedFile(payload);
  if (!file || !HasCompletePart(*file)) return;
  AdmitUpload(file->GetHash());
}

void CTARNNetPeerServing::OnRequestParts(std::span<const uint8_t> payload, bool wide) {
  CStreamReader reader(payload);
  _tagUnionHash hash;
  RequestRecord request;
  // Either form is taken for any file; the data goes out in the form of the file's size.
  if (!reader.ReadHash(hash) || !(wide ? request.ReadWide(reader) : request.Read(reader))) return;
  const FilePtr file = AskedFile(payload);
  if (!file) return;
  bool servable = true;
  for (size_t i = 0; i < RequestRecord::kPairs; ++i)
    if (request.UsedPair(i) &&
        (request.start[i] > request.end[i] || request.end[i] > file->GetSize() ||
         request.end[i] - request.start[i] > kMaxUploadRequestLength))
      servable = false;
  if (servable && !file->Data()->IsFinished()) {
    CLock guard(file->LockObject());
    servable = request.InAvailableParts(file->CompletionBitmap());
  }
  if (!servable) {
    link_.SendPacket(kProtocolEDonkey, kOpOutOfPartRequests);
    return;
  }
  QueueServeRanges(file->GetHash(), request);
}

std::optional<CTARNNetPeerServing::SAskedFile> CTARNNetPeerServing::OnMultiPacket(
    std::span<const uint8_t> payload) {
  const FilePtr file = AskedFile(payload);
  if (!file) return std::nullopt;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  const uint32_t capabilities = client_->GetCapabilities();
  SAskedFile asked{file, {}};
  const std::vector<uint8_t> opcodes =
      ReadMultiPacketRequest(reader, capabilities, file->GetSize(), &asked.asker);
  const auto has = [&opcodes](uint8_t opcode) {
    return std::find(opcodes.begin(), opcodes.end(), opcode) != opcodes.end();
  };
  // The asker goes into the list before the list is given, which leaves it out.
  if (has(kOpRequestFileName)) RecordAsker(*file, asked.asker);
  SFileAnswers answers{PartStatusOf(*file), file->GetName(), RootOf(*file), std::nullopt};
  if (has(kOpRequestSources)) answers.sources = SourcesForClient(*file);
  const std::vector<uint8_t> answer =
      BuildMultiPacketAnswer(file->GetHash(), opcodes, capabilities, answers);
  if (!answer.empty()) link_.SendPacket(kProtocolExtended, kOpMultiPacketAnswer, answer);
  if (!has(kOpRequestFileName) && asked.asker.state == SAskerParts::EState::kNotSent)
    return std::nullopt;
  return asked;
}

void CTARNNetPeerServing::OnAichFileHashRequest(std::span<const uint8_t> payload) {
  const FilePtr file = AskedFile(payload);
  if (!file) return;
  if (const std::optional<AichRoot> root = RootOf(*file))
    link_.SendPacket(kProtocolExtended, kOpAichFileHashAnswer,
                     BuildAichFileHashAnswer(file->GetHash(), *root));
}

void CTARNNetPeerServing::OnAichRequest(std::span<const uint8_t> payload) {
  const std::optional<SAichPartMessage> message =
      ReadAichPartMessage(context_, link_, payload, true, TakesLargeFiles());
  if (!message) return;
  const FilePtr& file = message->file;
  std::vector<uint8_t> recovery;
  {
    CLock guard(file->LockObject());
    HASH::CTARNNetFileHashSet& hashes = file->HashSet();
    CStreamWriter writer(recovery);
    if (message->part >= file->PartCount() || !hashes.CompareRootHash(message->root) ||
        !hashes.CreateRecoveryData(message->part, writer))
      return;
  }
  link_.SendPacket(kProtocolExtended, kOpAichAnswer,
                   BuildAichAnswer(file->GetHash(), message->part, message->root.bytes, recovery));
}

}  // namespace P2P
