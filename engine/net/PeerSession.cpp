#include "engine/net/PeerSession.h"

#include "engine/peers/ClientList.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerFileMessages.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/protocol/RecvTCPPacket.h"

namespace P2P {

using namespace Protocol;

CTARNNetPeerSession::CTARNNetPeerSession(CPeerSessionContext& context, ITARNNetPeerLink& link,
                                         Client::CClientPtr client)
    : context_(context),
      link_(link),
      client_(std::move(client)),
      download_(context, link, client_),
      serving_(context, link, client_) {}

void CTARNNetPeerSession::End() {
  context_.pausedReaders.Remove(&link_);
  if (!client_) return;
  // A client called back for its slot that never said who it is: the slot goes to the next.
  if (const auto call = client_->TakeSlotCall(); call && context_.uploads != nullptr)
    context_.served.Deliver(context_.uploads->OnSessionClosed(call->first));
  serving_.End();
  download_.End();
  client_->Detach(false);
  bool drop = false;
  switch (client_->GetDownloadState()) {
    case Client::kDownloadReceiving:
      client_->SetReask(10000);
      break;
    case Client::kDownloadQueued:
    case Client::kDownloadReask:
      if (CanReaskByUdp())
        client_->WaitByUdp();
      else
        client_->SetReask(30000);
      break;
    case Client::kDownloadNothingNow:
      client_->SetReask(5000);
      break;
    case Client::kDownloadNothingNeeded:
      client_->SetReask(60000);
      break;
    case Client::kDownloadRequesting:
    case Client::kDownloadConnecting:
    case Client::kDownloadBlocksRequested:
      drop = true;
      break;
    default:
      break;
  }
  const auto file = context_.FindFile(client_->GetRequestedFile());
  if (file && file->Data()->IsFinished()) drop = true;
  Client::CTARNNetClientList* clients = context_.clients;
  if (clients == nullptr) return;
  // A client that is no source of ours has nothing to come back for; keeping it would let
  // every connection ever accepted grow the list.
  if (drop || !clients->DownloadQueue().Contains(client_.Get())) clients->Drop(client_.Get());
}

void CTARNNetPeerSession::TakeCallingSource(const _tagUnionHash& user) {
  Client::CTARNNetClientList* clients = context_.clients;
  // Only a connection that came to us, before anything was asked on it.
  if (clients == nullptr || !client_->GetRequestedFile().IsZero() ||
      client_->GetSession() == nullptr)
    return;
  Client::CClientPtr source = clients->FindWaitingSource(user);
  if (!source || !serving_.Rebind(source)) return;
  Client::CClientPtr accepted = client_;
  source->AttachCalling(accepted->GetSession());
  source->SetIdentity(accepted->GetIdentity());
  client_ = source;
  download_.Rebind(source);
  accepted->Detach(false);
  clients->Drop(accepted.Get());
}

bool CTARNNetPeerSession::CanReaskByUdp() const {
  if (!context_.udpReasks || client_->UdpReaskFailed()) return false;
  const _tagStructPeerIdentity identity = client_->GetIdentity();
  // A low id is behind a server: a ping would not reach it.
  return UdpVersion(identity.capabilities) != 0 && identity.udpPort != 0 &&
         !IsPeerLowId(client_->GetAddress());
}

void CTARNNetPeerSession::OnConnected() {
  if (client_->GetDownloadState() == Client::kDownloadConnecting)
    link_.SendPacket(kProtocolEDonkey, kOpPeerHello, BuildHelloPayload(context_.own, false));
  if (context_.publicAddress.load() == 0) link_.SendPacket(kProtocolExtended, kOpPublicIpRequest);
}

void CTARNNetPeerSession::RequestFileAgain() {
  if (link_.IsOpen()) download_.StartFileRequest(true);
}

size_t CTARNNetPeerSession::Receive(std::span<const uint8_t> pending) {
  CTARNNetRecvTCPPacket<CTARNNetPeerSession> parser(*this);
  const SParseResult result = parser.ParseAll(pending);
  if (result.refused > 0) refusals_.Note(result.refusedOpcode, result.refusal);
  if (result.last == ETcpParse::kFramingError) {
    link_.Close();
    return pending.size();
  }
  return result.consumed;
}

namespace {

// One switch over both protocols: the protocol byte above the opcode.
constexpr uint16_t Key(uint8_t protocol, uint8_t opcode) {
  return static_cast<uint16_t>(protocol << 8 | opcode);
}
constexpr uint16_t Ed2k(uint8_t opcode) { return Key(kProtocolEDonkey, opcode); }
constexpr uint16_t Extended(uint8_t opcode) { return Key(kProtocolExtended, opcode); }

}  // namespace

bool CTARNNetPeerSession::Dispatch(uint8_t opcode, uint8_t protocol,
                                   std::span<const uint8_t> payload) {
  if (!link_.IsOpen() || !client_) return false;
  // Other clients pack their larger extended packets; once inflated they are extended ones.
  if (protocol != kProtocolEDonkey) protocol = kProtocolExtended;
  switch (Key(protocol, opcode)) {
    // Both sides of the connection.
    case Ed2k(kOpPeerHello):
      OnHello(payload, false);
      break;
    case Ed2k(kOpHelloAnswer):
      if (!OnHello(payload, true) || !link_.IsOpen()) break;
      // A client we called back for its upload slot: the slot, not a file request.
      if (const auto call = client_->TakeSlotCall())
        serving_.OnCalledBack(call->first, call->second);
      else
        download_.StartFileRequest(false);
      break;
    case Extended(kOpInfo):
    case Extended(kOpInfoAnswer):
      OnInfo(payload, opcode == kOpInfoAnswer);
      break;
    case Ed2k(kOpChangeClientId):
      OnClientIdChange(payload);
      break;
    case Ed2k(kOpEndOfDownload):
      OnEndOfDownload(payload);
      break;
    case Ed2k(kOpCancelTransfer):
      link_.Close();
      break;
    case Extended(kOpPublicIpRequest):
      link_.SendPacket(kProtocolExtended, kOpPublicIpAnswer,
                       BuildPublicIpAnswer(link_.RemoteAddress()));
      break;
    case Extended(kOpPublicIpAnswer):
      OnPublicIpAnswer(payload);
      break;
    case Extended(Credit::kOpSecIdentPublicKey):
    case Extended(Credit::kOpSecIdentSignature):
    case Extended(Credit::kOpSecIdentState):
      OnSecureIdentPacket(opcode, payload);
      break;
    case Extended(kOpPortTest): {
      const uint8_t answer = kPortTestAnswerByte;
      link_.SendPacket(kProtocolEDonkey, kOpPortTestAnswer, {&answer, 1});
      break;
    }
    // The download side: what the remote client says about the file we want from it.
    case Ed2k(kOpQueueRankPlain):
    case Extended(kOpQueueRank):
      OnQueueRank(opcode, payload, protocol == kProtocolEDonkey);
      break;
    case Ed2k(kOpFileNotFound):
      download_.OnFileNotFound(payload);
      break;
    case Ed2k(kOpFileNameAnswer):
      download_.OnFileNameAnswer(payload);
      break;
    case Ed2k(kOpFileStatus):
      download_.OnFileStatus(payload);
      break;
    case Ed2k(kOpHashSetAnswer):
      download_.OnHashSetAnswer(payload);
      break;
    case Extended(kOpMultiPacketAnswer):
      download_.OnMultiPacketAnswer(payload);
      break;
    case Ed2k(kOpAcceptUploadRequest):
      download_.OnAcceptUpload();
      break;
    case Ed2k(kOpSendingPart):
      download_.OnData(payload, false, false);
      break;
    case Extended(kOpCompressedPart):
      download_.OnData(payload, true, false);
      break;
    case Extended(kOpSendingPartWide):
      download_.OnData(payload, false, true);
      break;
    case Extended(kOpCompressedPartWide):
      download_.OnData(payload, true, true);
      break;
    case Ed2k(kOpOutOfPartRequests):
      download_.OnOutOfPartRequests();
      break;
    case Extended(kOpAnswerSources):
      download_.OnAnswerSources(payload);
      break;
    case Extended(kOpAichFileHashAnswer):
      download_.OnAichFileHashAnswer(payload);
      break;
    case Extended(kOpAichAnswer):
      download_.OnAichAnswer(payload);
      break;
    // The serving side: what the remote client asks of our files.
    case Ed2k(kOpRequestFileName):
      if (const auto asked = serving_.OnRequestFileName(payload))
        download_.OnAskerParts(*asked->file, asked->asker);
      break;
    case Ed2k(kOpSetRequestedFile):
      serving_.OnSetRequestedFile(payload);
      break;
    case Ed2k(kOpHashSetRequest):
      serving_.OnHashSetRequest(payload);
      break;
    case Extended(kOpMultiPacket):
      if (const auto asked = serving_.OnMultiPacket(payload))
        download_.OnAskerParts(*asked->file, asked->asker);
      break;
    case Extended(kOpRequestSources):
      serving_.OnRequestSources(payload);
      break;
    case Extended(kOpRequestPreview):
      serving_.OnUnansweredRequest(payload);
      break;
    case Ed2k(kOpStartUploadRequest):
      serving_.OnStartUploadRequest(payload);
      break;
    case Ed2k(kOpRequestParts):
    case Extended(kOpRequestPartsWide):
      serving_.OnRequestParts(payload, protocol != kProtocolEDonkey);
      break;
    case Extended(kOpAichFileHashRequest):
      serving_.OnAichFileHashRequest(payload);
      break;
    case Extended(kOpAichRequest):
      serving_.OnAichRequest(payload);
      break;
    default:
      break;  // skipped by its length
  }
  return link_.IsOpen();
}

bool CTARNNetPeerSession::OnHello(std::span<const uint8_t> payload, bool answer) {
  _tagStructPeerIdentity identity = client_->GetIdentity();
  SRefusal refusal;
  if (!ReadHello(payload, answer, identity, &refusal)) {
    refusals_.Note(answer ? kOpHelloAnswer : kOpPeerHello, refusal);
    return false;
  }
  client_->SetIdentity(identity);
  if (answer) {
    client_->SetDownloadState(Client::kDownloadRequesting);
    StartSecureIdentification();
    return true;
  }
  TakeCallingSource(identity.userHash);
  client_->SetUploadState(Client::kUploadHelloDone);
  link_.SendPacket(kProtocolExtended, kOpInfo, BuildInfoPayload(context_.own));
  link_.SendPacket(kProtocolEDonkey, kOpHelloAnswer, BuildHelloPayload(context_.own, true));
  StartSecureIdentification();
  return true;
}

void CTARNNetPeerSession::OnInfo(std::span<const uint8_t> payload, bool answer) {
  _tagStructPeerIdentity identity = client_->GetIdentity();
  SRefusal refusal;
  if (!ReadInfo(payload, identity, &refusal)) {
    refusals_.Note(answer ? kOpInfoAnswer : kOpInfo, refusal);
    return;
  }
  client_->SetIdentity(identity);
  if (!answer) link_.SendPacket(kProtocolExtended, kOpInfoAnswer, BuildInfoPayload(context_.own));
  StartSecureIdentification();
}

void CTARNNetPeerSession::OnEndOfDownload(std::span<const uint8_t> payload) {
  CStreamReader reader(payload);
  _tagUnionHash hash;
  if (!reader.ReadHash(hash)) return;
  const bool served = serving_.FinishServedUpload(hash);
  if (served || hash == client_->GetRequestedFile()) link_.Close();
}

void CTARNNetPeerSession::OnPublicIpAnswer(std::span<const uint8_t> payload) {
  CStreamReader reader(payload);
  uint32_t address = 0;
  if (!reader.ReadUInt32(address))
    refusals_.Note(kOpPublicIpAnswer, reader.Refusal());
  else if (!IsPeerLowId(address))
    context_.publicAddress.store(address);
}

void CTARNNetPeerSession::OnQueueRank(uint8_t opcode, std::span<const uint8_t> payload, bool wide) {
  CStreamReader reader(payload);
  uint32_t rank = 0;
  uint16_t narrow = 0;
  const bool read = wide ? reader.ReadUInt32(rank) : reader.ReadUInt16(narrow);
  if (!read) {
    refusals_.Note(opcode, reader.Refusal());
    return;
  }
  download_.OnQueueRank(wide ? static_cast<int32_t>(rank & 0x7FFFFFFF) : narrow);
}

Credit::SSecureIdentContext CTARNNetPeerSession::SecureIdentContext() const {
  Credit::SSecureIdentContext context;
  const _tagStructPeerIdentity identity = client_->GetIdentity();
  context.remoteUserHash = identity.userHash;
  context.remoteVersion = static_cast<uint8_t>(SecureIdentVersion(identity.capabilities));
  context.ownClientId = context_.own.clientId;
  context.ownPublicAddress = context_.publicAddress.load();
  context.remoteAddress = link_.RemoteAddress();
  return context;
}

void CTARNNetPeerSession::StartSecureIdentification() {
  Credit::ITARNNetSecureIdentification* ident = context_.identity;
  if (ident == nullptr || secureIdentSent_) return;
  const Credit::SSecureIdentContext context = SecureIdentContext();
  if (context.remoteVersion == 0) return;
  secureIdentSent_ = true;
  for (const Credit::SSecureIdentPacket& packet : ident->SendState(context))
    link_.SendPacket(kProtocolExtended, packet.opcode, packet.payload);
}

void CTARNNetPeerSession::OnSecureIdentPacket(uint8_t opcode, std::span<const uint8_t> payload) {
  Credit::ITARNNetSecureIdentification* ident = context_.identity;
  if (ident == nullptr) return;
  const Credit::SSecureIdentContext context = SecureIdentContext();
  // Nothing is known of a client before its hello: its user hash names the record.
  if (context.remoteUserHash.IsZero()) return;
  std::vector<Credit::SSecureIdentPacket> answers;
  if (opcode == Credit::kOpSecIdentState) {
    answers = ident->OnState(context, payload);
  } else if (opcode == Credit::kOpSecIdentPublicKey) {
    ident->OnPublicKey(context, payload);
    answers = ident->PendingSignature(context);
  } else {
    ident->OnSignature(context, payload);
  }
  for (const Credit::SSecureIdentPacket& packet : answers)
    link_.SendPacket(kProtocolExtended, packet.opcode, packet.payload);
}

void CTARNNetPeerSession::OnClientIdChange(std::span<const uint8_t> payload) {
  CStreamReader reader(payload);
  uint32_t newId = 0, serverAddress = 0;
  if (!reader.ReadUInt32(newId) || !reader.ReadUInt32(serverAddress)) return;
  const std::optional<uint16_t> serverPort = context_.ServerPort(serverAddress);
  if (!serverPort) return;
  _tagStructPeerIdentity identity = client_->GetIdentity();
  // A high id is an address: only the one this client is reached at is believed.
  if (IsPeerLowId(newId))
    identity.clientId = newId;
  else if (newId == client_->GetAddress())
    identity.clientId = newId;
  else
    return;
  identity.serverAddress = serverAddress;
  identity.serverPort = *serverPort;
  client_->SetIdentity(identity);
}

}  // namespace P2P
