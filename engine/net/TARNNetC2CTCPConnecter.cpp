#include "engine/net/TARNNetC2CTCPConnecter.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include "engine/net/PausedReaderRegistry.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/protocol/RecvTCPPacket.h"
#include "engine/transfer/TransferFileList.h"
#include "framework/TickSource.h"

namespace P2P {

using namespace Protocol;
using Shared::File::TransferFile::CTARNNetTransferFileList;

CTARNNetC2CTCPConnecterT::CTARNNetC2CTCPConnecterT(const _tagStructClientConfig& own,
                                                   Client::CClientPtr client,
                                                   Client::CTARNNetClientList* clients)
    : own_(own), client_(std::move(client)), clients_(clients) {
  rateTick_ = OSTREL::Process::CTickSource::Now();
}

CTARNNetC2CTCPConnecterT::~CTARNNetC2CTCPConnecterT() {
  PausedReaders().Remove(this);
  Close(true);
  if (!client_) return;
  EndUploadSide();
  EndDownloadSide();
  client_->Detach(false);
  const uint32_t state = client_->GetDownloadState();
  bool drop = false;
  switch (state) {
    case Client::kDownloadReceiving:
      client_->SetReask(10000);
      break;
    case Client::kDownloadQueued:
    case Client::kDownloadReask:
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
  const _tagUnionHash wanted = client_->GetRequestedFile();
  if (CTransferFilePtr file = FindFile(wanted); file && file->Data()->IsFinished()) drop = true;
  if (!clients_) return;
  // A client that is no source of ours has nothing to come back for; keeping it would let
  // every connection ever accepted grow the list.
  if (drop || !clients_->DownloadQueue().Contains(client_.Get())) clients_->Drop(client_.Get());
}

bool CTARNNetC2CTCPConnecterT::AttachAccepted(int fd) {
  sockaddr_in from{};
  socklen_t length = sizeof(from);
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&from), &length) == 0)
    remoteAddress_ = from.sin_addr.s_addr;
  if (!Attach(fd)) return false;
  if (client_) client_->AttachAccepted(this);
  return true;
}

bool CTARNNetC2CTCPConnecterT::ConnectTo(CTARNNetC2CManager& manager, bool uploadCallback) {
  if (!client_) return false;
  client_->AttachOutgoing(this, uploadCallback);
  remoteAddress_ = client_->GetAddress();
  if (Create(0, SOCK_STREAM) && Connect(remoteAddress_, client_->GetPort()) && manager.Add(this))
    return true;
  Close(true);
  client_->Detach(false);
  // Not a failed session: the caller decides when the client is tried again.
  client_->SetDownloadState(Client::kDownloadNothingNow);
  return false;
}

void CTARNNetC2CTCPConnecterT::OnConnect(int /*error*/) {
  if (client_->GetDownloadState() == Client::kDownloadConnecting)
    SendPacket(kProtocolEDonkey, kOpPeerHello, BuildHelloPayload(own_, false));
  if (GetPublicAddress() == 0) SendPacket(kProtocolExtended, kOpPublicIpRequest);
}

size_t CTARNNetC2CTCPConnecterT::OnReceiveData(std::span<const uint8_t> pending) {
  CTARNNetRecvTCPPacket<CTARNNetC2CTCPConnecterT> parser(*this);
  const SParseResult result = parser.ParseAll(pending);
  if (result.refused > 0) refusals_.Note(result.refusedOpcode, result.refusal);
  if (result.last == ETcpParse::kFramingError) {
    Close(true);
    return pending.size();
  }
  return result.consumed;
}

// Leaving the served sessions here, before the last reference goes, keeps the scheduler's
// callers from reaching a session being destroyed.
void CTARNNetC2CTCPConnecterT::OnClose(int /*error*/) {
  Close(true);
  if (client_) EndUploadSide();
}
void CTARNNetC2CTCPConnecterT::OnError(int /*error*/) {
  Close(true);
  if (client_) EndUploadSide();
}

bool CTARNNetC2CTCPConnecterT::Dispatch(uint8_t opcode, uint8_t protocol,
                                        std::span<const uint8_t> payload) {
  if (!IsOpen() || !client_) return false;
  if (protocol == kProtocolEDonkey) return DispatchEd2k(opcode, payload);
  // Other clients pack their larger extended packets; once inflated they are extended ones.
  return DispatchExtended(opcode, payload);
}

bool CTARNNetC2CTCPConnecterT::DispatchEd2k(uint8_t opcode, std::span<const uint8_t> payload) {
  switch (opcode) {
    case kOpPeerHello:
      OnHello(payload, false);
      break;
    case kOpHelloAnswer:
      if (OnHello(payload, true) && IsOpen()) StartFileRequest(false);
      break;
    case kOpSendingPart:
      OnData(payload, false);
      break;
    case kOpRequestParts:
      OnRequestParts(payload);
      break;
    case kOpFileNotFound:
      if (payload.size() >= _tagUnionHash::kSize) {
        client_->SetDownloadState(Client::kDownloadIdle);
        Close(true);
      }
      break;
    case kOpEndOfDownload: {
      CStreamReader reader(payload);
      _tagUnionHash hash;
      if (!reader.ReadHash(hash)) break;
      const bool served = FinishServedUpload(hash);
      if (served || hash == client_->GetRequestedFile()) Close(true);
      break;
    }
    case kOpChangeClientId:
      OnClientIdChange(payload);
      break;
    case kOpSetRequestedFile:
      OnSetRequestedFile(payload);
      break;
    case kOpFileStatus:
      OnFileStatus(payload);
      break;
    case kOpHashSetRequest:
      OnHashSetRequest(payload);
      break;
    case kOpHashSetAnswer:
      OnHashSetAnswer(payload);
      break;
    case kOpStartUploadRequest:
      OnStartUploadRequest(payload);
      break;
    case kOpAcceptUploadRequest:
      OnAcceptUpload();
      break;
    case kOpCancelTransfer:
      Close(true);
      break;
    case kOpOutOfPartRequests:
      if (CTransferFilePtr file = FindFile(client_->GetRequestedFile())) ForgetOutstanding(*file);
      break;
    case kOpRequestFileName:
      OnRequestFileName(payload);
      break;
    case kOpFileNameAnswer:
      OnFileNameAnswer(payload);
      break;
    case kOpQueueRankPlain: {
      CStreamReader reader(payload);
      uint32_t rank = 0;
      if (!reader.ReadUInt32(rank)) {
        refusals_.Note(opcode, reader.Refusal());
        break;
      }
      OnQueueRank(static_cast<int32_t>(rank & 0x7FFFFFFF));
      break;
    }
    default:
      break;  // skipped by its length
  }
  return IsOpen();
}

bool CTARNNetC2CTCPConnecterT::DispatchExtended(uint8_t opcode, std::span<const uint8_t> payload) {
  switch (opcode) {
    case kOpInfo:
      OnInfo(payload, false);
      break;
    case kOpInfoAnswer:
      OnInfo(payload, true);
      break;
    case kOpCompressedPart:
      OnData(payload, true);
      break;
    case kOpQueueRank: {
      CStreamReader reader(payload);
      uint16_t rank = 0;
      if (!reader.ReadUInt16(rank)) {
        refusals_.Note(opcode, reader.Refusal());
        break;
      }
      OnQueueRank(rank);
      break;
    }
    case kOpRequestSources:
    case kOpRequestPreview:
      KnownFileOr(payload, true);
      break;
    case kOpAnswerSources:
      OnAnswerSources(payload);
      break;
    case kOpMultiPacket:
      OnMultiPacket(payload);
      break;
    case kOpMultiPacketAnswer:
      OnMultiPacketAnswer(payload);
      break;
    case kOpPublicIpRequest: {
      std::vector<uint8_t> bytes;
      CStreamWriter(bytes).WriteUInt32(remoteAddress_);
      SendPacket(kProtocolExtended, kOpPublicIpAnswer, bytes);
      break;
    }
    case kOpPublicIpAnswer: {
      CStreamReader reader(payload);
      uint32_t address = 0;
      if (!reader.ReadUInt32(address))
        refusals_.Note(opcode, reader.Refusal());
      else if (!IsPeerLowId(address))
        publicAddress_.store(address);
      break;
    }
    case kOpAichRequest:
      OnAichRequest(payload);
      break;
    case kOpAichAnswer:
      OnAichAnswer(payload);
      break;
    case kOpAichFileHashAnswer:
      OnAichFileHashAnswer(payload);
      break;
    case kOpAichFileHashRequest:
      OnAichFileHashRequest(payload);
      break;
    case Credit::kOpSecIdentPublicKey:
    case Credit::kOpSecIdentSignature:
    case Credit::kOpSecIdentState:
      OnSecureIdentPacket(opcode, payload);
      break;
    case kOpPortTest: {
      const uint8_t answer = kPortTestAnswerByte;
      SendPacket(kProtocolEDonkey, kOpPortTestAnswer, {&answer, 1});
      break;
    }
    default:
      break;
  }
  return IsOpen();
}

bool CTARNNetC2CTCPConnecterT::OnHello(std::span<const uint8_t> payload, bool answer) {
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
  client_->SetUploadState(Client::kUploadHelloDone);
  SendPacket(kProtocolExtended, kOpInfo, BuildInfoPayload(own_));
  SendPacket(kProtocolEDonkey, kOpHelloAnswer, BuildHelloPayload(own_, true));
  StartSecureIdentification();
  return true;
}

void CTARNNetC2CTCPConnecterT::OnInfo(std::span<const uint8_t> payload, bool answer) {
  _tagStructPeerIdentity identity = client_->GetIdentity();
  SRefusal refusal;
  if (!ReadInfo(payload, identity, &refusal)) {
    refusals_.Note(answer ? kOpInfoAnswer : kOpInfo, refusal);
    return;
  }
  client_->SetIdentity(identity);
  if (!answer) SendPacket(kProtocolExtended, kOpInfoAnswer, BuildInfoPayload(own_));
  StartSecureIdentification();
}

Credit::SSecureIdentContext CTARNNetC2CTCPConnecterT::SecureIdentContext() const {
  Credit::SSecureIdentContext context;
  const _tagStructPeerIdentity identity = client_->GetIdentity();
  context.remoteUserHash = identity.userHash;
  context.remoteVersion = static_cast<uint8_t>(SecureIdentVersion(identity.capabilities));
  context.ownClientId = own_.clientId;
  context.ownPublicAddress = GetPublicAddress();
  context.remoteAddress = remoteAddress_;
  return context;
}

void CTARNNetC2CTCPConnecterT::StartSecureIdentification() {
  Credit::ITARNNetSecureIdentification* ident = secureIdent_.load();
  if (ident == nullptr || secureIdentSent_) return;
  const Credit::SSecureIdentContext context = SecureIdentContext();
  if (context.remoteVersion == 0) return;
  secureIdentSent_ = true;
  for (const Credit::SSecureIdentPacket& packet : ident->SendState(context))
    SendPacket(kProtocolExtended, packet.opcode, packet.payload);
}

void CTARNNetC2CTCPConnecterT::OnSecureIdentPacket(uint8_t opcode,
                                                   std::span<const uint8_t> payload) {
  Credit::ITARNNetSecureIdentification* ident = secureIdent_.load();
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
    SendPacket(kProtocolExtended, packet.opcode, packet.payload);
}

void CTARNNetC2CTCPConnecterT::OnClientIdChange(std::span<const uint8_t> payload) {
  CStreamReader reader(payload);
  uint32_t newId = 0, serverAddress = 0;
  if (!reader.ReadUInt32(newId) || !reader.ReadUInt32(serverAddress)) return;
  std::optional<uint16_t> serverPort;
  {
    std::lock_guard guard(lookupLock_);
    if (serverPortLookup_) serverPort = serverPortLookup_(serverAddress);
  }
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

void CTARNNetC2CTCPConnecterT::OnQueueRank(int32_t rank) {
  client_->SetDownloadState(Client::kDownloadQueued);
  client_->SetRemoteQueueRank(rank);
  SetIdleTimeout(kQueuedIdleTimeout);
  ResetIdleTimer();
  if (CTransferFilePtr file = FindFile(client_->GetRequestedFile())) ForgetOutstanding(*file);
}

bool CTARNNetC2CTCPConnecterT::SendPacket(uint8_t protocol, uint8_t opcode,
                                          std::span<const uint8_t> payload) {
  const std::vector<uint8_t> packet = BuildPeerPacket(protocol, opcode, payload);
  if (packet.empty()) return false;
  if (QueuedSendBytes() + packet.size() > kMaxPeerSendBacklog) {
    Close(true);
    return false;
  }
  return Send(packet);
}

bool CTARNNetC2CTCPConnecterT::SendHashPacket(uint8_t protocol, uint8_t opcode,
                                              const _tagUnionHash& hash) {
  return SendPacket(protocol, opcode, hash.bytes);
}

CTARNNetC2CTCPConnecterT::CTransferFilePtr CTARNNetC2CTCPConnecterT::FindFile(
    const _tagUnionHash& hash) {
  CTARNNetTransferFileList* files = CTARNNetTransferFileList::PeekInstance();
  return files != nullptr ? files->FindByHash(hash) : CTransferFilePtr();
}

CTARNNetC2CTCPConnecterT::CTransferFilePtr CTARNNetC2CTCPConnecterT::KnownFileOr(
    std::span<const uint8_t> payload, bool answer) {
  CStreamReader reader(payload);
  _tagUnionHash hash;
  if (!reader.ReadHash(hash)) return {};
  CTransferFilePtr file = FindFile(hash);
  if (file) return file;
  if (answer) SendHashPacket(kProtocolEDonkey, kOpFileNotFound, hash);
  Close(true);
  return {};
}

}  // namespace P2P
