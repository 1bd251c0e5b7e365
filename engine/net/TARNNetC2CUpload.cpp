// The asked side of a peer session: answers about the files we hold (name, part status, hash
// set, sources, AICH data), the upload grant and the recording of the block ranges a remote
// client asks for. Split from TARNNetC2CTCPConnecter.cpp.
#include <algorithm>

#include "engine/hashing/HashConstants.h"
#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "framework/CriticalSection.h"

namespace P2P {

using namespace Protocol;
using OSTREL::Process::CLock;

namespace {

bool HasCompletePart(CTARNNetTransferFile& file) {
  if (file.Data()->IsFinished()) return true;
  CLock guard(file.LockObject());
  const std::vector<uint8_t>& complete = file.CompletionBitmap();
  return std::any_of(complete.begin(), complete.end(), [](uint8_t done) { return done != 0; });
}

}  // namespace

void CTARNNetC2CTCPConnecterT::AppendPartStatus(CStreamWriter& writer, CTARNNetTransferFile& file) {
  if (file.Data()->IsFinished()) {
    WritePartStatus(writer, file.GetSize(), {}, true);
    return;
  }
  CLock guard(file.LockObject());
  WritePartStatus(writer, file.GetSize(), file.CompletionBitmap(), false);
}

void CTARNNetC2CTCPConnecterT::AppendFileName(CStreamWriter& writer, CTARNNetTransferFile& file) {
  std::string name = file.GetName();
  if (name.size() > 0xFFFF) name.resize(0xFFFF);
  writer.WriteUInt16(static_cast<uint16_t>(name.size()));
  writer.WriteString(name);
}

void CTARNNetC2CTCPConnecterT::OnSetRequestedFile(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, true);
  if (!file) return;
  // A source of ours keeps the file we want from it.
  if (client_->GetRequestedFile().IsZero()) {
    const _tagUnionHash hash = file->GetHash();
    client_->SetRequestedFile(&hash);
  }
  std::vector<uint8_t> answer;
  CStreamWriter writer(answer);
  writer.WriteHash(file->GetHash());
  AppendPartStatus(writer, *file);
  SendPacket(kProtocolEDonkey, kOpFileStatus, answer);
}

void CTARNNetC2CTCPConnecterT::OnRequestFileName(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, true);
  if (!file) return;
  std::vector<uint8_t> answer;
  CStreamWriter writer(answer);
  writer.WriteHash(file->GetHash());
  AppendFileName(writer, *file);
  SendPacket(kProtocolEDonkey, kOpFileNameAnswer, answer);
}

void CTARNNetC2CTCPConnecterT::OnHashSetRequest(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, true);
  if (!file) return;
  std::vector<uint8_t> answer;
  CStreamWriter writer(answer);
  writer.WriteHash(file->GetHash());
  {
    CLock guard(file->LockObject());
    const HASH::MD4_HASH::CTARNNetHashList& hashes = file->HashSet().HashList();
    // Only a hash set we could prove ourselves is handed on.
    if (HASH::HashSetCount(file->GetSize()) == 0 || !hashes.Matches(file->GetHash())) return;
    HASH::MD4_HASH::CTARNNetHashList sized = hashes;
    sized.SetFileSize(file->GetSize());
    if (!sized.WriteHashSet(writer)) return;
  }
  SendPacket(kProtocolEDonkey, kOpHashSetAnswer, answer);
}

void CTARNNetC2CTCPConnecterT::OnStartUploadRequest(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, true);
  if (!file || !HasCompletePart(*file)) return;
  AdmitUpload(file->GetHash());
}

void CTARNNetC2CTCPConnecterT::OnRequestParts(std::span<const uint8_t> payload) {
  CStreamReader reader(payload);
  _tagUnionHash hash;
  RequestRecord request;
  if (!reader.ReadHash(hash) || !request.Read(reader)) return;
  CTransferFilePtr file = KnownFileOr(payload, true);
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
    SendPacket(kProtocolEDonkey, kOpOutOfPartRequests);
    return;
  }
  QueueServeRanges(file->GetHash(), request);
}

void CTARNNetC2CTCPConnecterT::OnMultiPacket(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, true);
  if (!file) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  std::vector<uint8_t> answer;
  CStreamWriter writer(answer);
  writer.WriteHash(file->GetHash());
  const size_t empty = answer.size();
  const uint32_t capabilities = client_->GetCapabilities();
  uint8_t opcode = 0;
  while (reader.ReadUInt8(opcode)) {
    if (opcode == kOpSetRequestedFile) {
      writer.WriteUInt8(kOpFileStatus);
      AppendPartStatus(writer, *file);
    } else if (opcode == kOpRequestFileName) {
      const uint32_t version = ExtendedRequestVersion(capabilities);
      if (version >= 1 && !ReadPartStatus(reader, file->GetSize())) break;
      uint16_t count = 0;
      if (version >= 2 && !reader.ReadUInt16(count)) break;
      writer.WriteUInt8(kOpFileNameAnswer);
      AppendFileName(writer, *file);
    } else if (opcode == kOpRequestSources) {
      continue;  // we hand out no sources yet
    } else if (opcode == kOpAichFileHashRequest) {
      CLock guard(file->LockObject());
      const HASH::_tagStructAICHHash* root = file->HashSet().GetRootHash();
      if (root == nullptr || AichVersion(capabilities) == 0) continue;
      writer.WriteUInt8(kOpAichFileHashAnswer);
      writer.WriteBytes(root->bytes);
    } else {
      break;
    }
  }
  if (answer.size() > empty) SendPacket(kProtocolExtended, kOpMultiPacketAnswer, answer);
}

void CTARNNetC2CTCPConnecterT::OnAichFileHashRequest(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, true);
  if (!file) return;
  std::vector<uint8_t> answer;
  CStreamWriter writer(answer);
  writer.WriteHash(file->GetHash());
  {
    CLock guard(file->LockObject());
    const HASH::_tagStructAICHHash* root = file->HashSet().GetRootHash();
    if (root == nullptr) return;
    writer.WriteBytes(root->bytes);
  }
  SendPacket(kProtocolExtended, kOpAichFileHashAnswer, answer);
}

void CTARNNetC2CTCPConnecterT::OnAichRequest(std::span<const uint8_t> payload) {
  CTransferFilePtr file = KnownFileOr(payload, true);
  if (!file) return;
  CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  uint16_t part = 0;
  HASH::_tagStructAICHHash root;
  if (!reader.ReadUInt16(part) || !reader.ReadBytes(root.bytes)) return;
  std::vector<uint8_t> answer;
  CStreamWriter writer(answer);
  writer.WriteHash(file->GetHash());
  writer.WriteUInt16(part);
  writer.WriteBytes(root.bytes);
  {
    CLock guard(file->LockObject());
    HASH::CTARNNetFileHashSet& hashes = file->HashSet();
    if (part >= file->PartCount() || !hashes.CompareRootHash(root) ||
        !hashes.CreateRecoveryData(part, writer))
      return;
  }
  SendPacket(kProtocolExtended, kOpAichAnswer, answer);
}

}  // namespace P2P
