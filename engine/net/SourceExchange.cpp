#include "engine/net/SourceExchange.h"

#include <algorithm>

#include "engine/protocol/Limits.h"
#include "framework/CriticalSection.h"

namespace P2P {

using OSTREL::Process::CLock;
using Remote::Peer::_tagStructPeer;
using Remote::Peer::EPeerHolds;

namespace {

EPeerHolds HoldsOf(const Protocol::SAskerParts& asker) {
  if (asker.state != Protocol::SAskerParts::EState::kRead) return EPeerHolds::kUnknown;
  // An empty bitmap stands for the whole file.
  const bool any = asker.parts.empty() ||
                   std::any_of(asker.parts.begin(), asker.parts.end(), [](uint8_t p) { return p; });
  return any ? EPeerHolds::kParts : EPeerHolds::kNothing;
}

bool SameClient(const _tagStructPeer& a, const _tagStructPeer& b) {
  if (!a.userHash.IsZero() && a.userHash == b.userHash) return true;
  return a.clientId == b.clientId && a.port == b.port;
}

}  // namespace

_tagStructPeer SourceRecordOf(const Protocol::_tagStructPeerIdentity& identity,
                              const Protocol::SAskerParts& asker) {
  _tagStructPeer record;
  record.userHash = identity.userHash;
  record.clientId = identity.clientId;
  record.port = identity.tcpPort;
  record.serverAddress = identity.serverAddress;
  record.serverPort = identity.serverPort;
  record.holds = HoldsOf(asker);
  return record;
}

bool IsReachableSource(const _tagStructPeer& source) {
  if (source.port == 0 || source.clientId == 0) return false;
  return !Protocol::IsPeerLowId(source.clientId) || source.serverAddress != 0;
}

void RecordAsker(Shared::File::TransferFile::CTARNNetTransferFile& file,
                 const _tagStructPeer& asker) {
  if (!IsReachableSource(asker)) return;
  const auto data = file.Data();
  if (data->IsFinished()) {
    CLock guard(file.LockObject());
    file.Sources().AddRecent(asker, Protocol::kMaxSourcesPerDownload);
    return;
  }
  bool listed = false;
  {
    CLock guard(file.LockObject());
    listed = file.Sources().Update(asker.clientId, asker.userHash, asker.holds);
  }
  // A downloader with nothing yet is no source of ours; asked again later, it may be.
  if (!listed && asker.holds == EPeerHolds::kParts)
    data->AddSource(asker.clientId, asker.port, asker.serverAddress, asker.serverPort,
                    asker.userHash);
}

std::optional<std::vector<uint8_t>> SourceAnswer(
    Shared::File::TransferFile::CTARNNetTransferFile& file, const _tagStructPeer& asker,
    bool withUserHash) {
  Remote::Peer::CTARNNetPeerList chosen;
  {
    CLock guard(file.LockObject());
    chosen = file.Sources().Select(Protocol::kMaxSourcesPerAnswer, [&](const _tagStructPeer& p) {
      return IsReachableSource(p) && !SameClient(p, asker);
    });
  }
  if (chosen.Size() == 0) return std::nullopt;
  std::vector<uint8_t> list;
  Protocol::CStreamWriter writer(list);
  if (!chosen.WriteSources(writer, withUserHash)) return std::nullopt;
  return list;
}

}  // namespace P2P
