#include "engine/net/PeerFiles.h"

#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "framework/CriticalSection.h"

namespace P2P {

Shared::File::TransferFile::CTransferFilePtr KnownFileOr(const CPeerSessionContext& context,
                                                         ITARNNetPeerLink& link,
                                                         std::span<const uint8_t> payload,
                                                         bool answer, bool largeFiles) {
  Protocol::CStreamReader reader(payload);
  _tagUnionHash hash;
  if (!reader.ReadHash(hash)) return {};
  auto file = context.FindFile(hash);
  if (file && (largeFiles || file->GetSize() <= Protocol::kMaxSmallFileSize)) return file;
  if (answer) link.SendPacket(Protocol::kProtocolEDonkey, Protocol::kOpFileNotFound, hash.bytes);
  link.Close();
  return {};
}

std::optional<SAichPartMessage> ReadAichPartMessage(const CPeerSessionContext& context,
                                                    ITARNNetPeerLink& link,
                                                    std::span<const uint8_t> payload, bool answer,
                                                    bool largeFiles) {
  SAichPartMessage message;
  message.file = KnownFileOr(context, link, payload, answer, largeFiles);
  if (!message.file) return std::nullopt;
  Protocol::CStreamReader reader(payload.subspan(_tagUnionHash::kSize));
  if (!reader.ReadUInt16(message.part) || !reader.ReadBytes(message.root.bytes))
    return std::nullopt;
  message.rest = reader.Rest();
  return message;
}

Protocol::SPartStatus PartStatusOf(Shared::File::TransferFile::CTARNNetTransferFile& file) {
  Protocol::SPartStatus status;
  status.fileSize = file.GetSize();
  status.whole = file.Data()->IsFinished();
  if (status.whole) return status;
  OSTREL::Process::CLock guard(file.LockObject());
  status.complete = file.CompletionBitmap();
  return status;
}

}  // namespace P2P
