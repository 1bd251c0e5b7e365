#include "engine/net/TARNNetC2CTCPConnecter.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include "engine/protocol/PeerMessages.h"
#include "engine/protocol/RecvTCPPacket.h"

namespace P2P {

using namespace Protocol;

CTARNNetC2CTCPConnecterT::CTARNNetC2CTCPConnecterT(const _tagStructClientConfig& own,
                                                   Client::CClientPtr client,
                                                   Client::CTARNNetClientList* clients)
    : own_(own), client_(std::move(client)), clients_(clients) {}

CTARNNetC2CTCPConnecterT::~CTARNNetC2CTCPConnecterT() {
  Close(true);
  if (!client_) return;
  client_->Detach(false);
  // A client that is no source of ours has nothing to come back for; keeping it would let
  // every connection ever accepted grow the list.
  if (clients_ && !clients_->DownloadQueue().Contains(client_.Get())) clients_->Drop(client_.Get());
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

void CTARNNetC2CTCPConnecterT::OnClose(int /*error*/) { Close(true); }
void CTARNNetC2CTCPConnecterT::OnError(int /*error*/) { Close(true); }

bool CTARNNetC2CTCPConnecterT::Dispatch(uint8_t opcode, uint8_t protocol,
                                        std::span<const uint8_t> payload) {
  if (!IsOpen()) return false;
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
      OnHello(payload, true);
      break;
    case kOpQueueRankPlain: {
      CStreamReader reader(payload);
      uint32_t rank = 0;
      if (!reader.ReadUInt32(rank)) {
        refusals_.Note(opcode, reader.Refusal());
        break;
      }
      client_->SetDownloadState(Client::kDownloadQueued);
      client_->SetRemoteQueueRank(static_cast<int32_t>(rank & 0x7FFFFFFF));
      SetIdleTimeout(kQueuedIdleTimeout);
      ResetIdleTimer();
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
    case kOpQueueRank: {
      CStreamReader reader(payload);
      uint16_t rank = 0;
      if (!reader.ReadUInt16(rank)) {
        refusals_.Note(opcode, reader.Refusal());
        break;
      }
      client_->SetDownloadState(Client::kDownloadQueued);
      client_->SetRemoteQueueRank(rank);
      SetIdleTimeout(kQueuedIdleTimeout);
      ResetIdleTimer();
      break;
    }
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

void CTARNNetC2CTCPConnecterT::OnHello(std::span<const uint8_t> payload, bool answer) {
  _tagStructPeerIdentity identity = client_->GetIdentity();
  SRefusal refusal;
  if (!ReadHello(payload, answer, identity, &refusal)) {
    refusals_.Note(answer ? kOpHelloAnswer : kOpPeerHello, refusal);
    return;
  }
  client_->SetIdentity(identity);
  if (answer) {
    client_->SetDownloadState(Client::kDownloadRequesting);
    return;
  }
  client_->SetUploadState(Client::kUploadHelloDone);
  SendPacket(kProtocolExtended, kOpInfo, BuildInfoPayload(own_));
  SendPacket(kProtocolEDonkey, kOpHelloAnswer, BuildHelloPayload(own_, true));
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
}

bool CTARNNetC2CTCPConnecterT::SendPacket(uint8_t protocol, uint8_t opcode,
                                          std::span<const uint8_t> payload) {
  const std::vector<uint8_t> packet = BuildPeerPacket(protocol, opcode, payload);
  return !packet.empty() && Send(packet);
}

}  // namespace P2P
