#include "engine/peers/Client.h"

#include "framework/CriticalSection.h"
#include "framework/TickSource.h"

namespace P2P::Client {

using Guard = OSTREL::Process::CLock<OSTREL::Process::CMutex>;
using Shared::File::TransferFile::_tagStructRequestRecord;

CTARNNetClient::CTARNNetClient() { reask_.Reset(); }

void CTARNNetClient::Initialise(uint32_t address, uint16_t port, uint32_t serverAddress,
                                uint16_t serverPort, const _tagUnionHash* requestedFile,
                                const _tagUnionHash* userHash) {
  Guard guard(lock_);
  address_ = address;
  port_ = port;
  serverAddress_ = serverAddress;
  serverPort_ = serverPort;
  requestedFile_ = requestedFile ? *requestedFile : _tagUnionHash{};
  if (userHash) identity_.userHash = *userHash;
}

void CTARNNetClient::AttachOutgoing(ITARNNetClientSession* session, bool uploadCallback) {
  Guard guard(lock_);
  session_ = session;
  downloadState_ = uploadCallback ? kDownloadIdle : kDownloadConnecting;
  uploadState_ = uploadCallback ? kUploadAttaching : kUploadNone;
  reask_.SetDuration(kNever);
  retry_.SetDuration(kNever);
}

void CTARNNetClient::AttachAccepted(ITARNNetClientSession* session) {
  Guard guard(lock_);
  session_ = session;
  downloadState_ = kDownloadIdle;
  uploadState_ = kUploadAttaching;
  reask_.SetDuration(kNever);
  retry_.SetDuration(kNever);
}

void CTARNNetClient::AttachCalling(ITARNNetClientSession* session) {
  Guard guard(lock_);
  session_ = session;
  uploadState_ = kUploadAttaching;
  unansweredPings_ = 0;
  reask_.SetDuration(kNever);
  retry_.SetDuration(kNever);
}

void CTARNNetClient::Detach(bool hard) {
  ITARNNetClientSession* session = nullptr;
  {
    Guard guard(lock_);
    session = session_;
    session_ = nullptr;
  }
  if (hard && session) session->CloseSession();
}

void CTARNNetClient::SetReask(uint32_t milliseconds) {
  Guard guard(lock_);
  reask_.SetDuration(milliseconds);
  reask_.Reset();
}

bool CTARNNetClient::ReaskDue() const {
  Guard guard(lock_);
  return reask_.IsElapsed();
}

void CTARNNetClient::WaitByUdp() {
  Guard guard(lock_);
  downloadState_ = kDownloadReask;
  unansweredPings_ = 0;
  reask_.SetDuration(kUdpReaskPeriod);
  reask_.Reset();
}

void CTARNNetClient::NoteUdpPing() {
  Guard guard(lock_);
  ++unansweredPings_;
  reask_.SetDuration(kUdpAnswerWait);
  reask_.Reset();
}

void CTARNNetClient::NoteUdpAnswer() {
  Guard guard(lock_);
  unansweredPings_ = 0;
  reask_.SetDuration(kUdpReaskPeriod);
  reask_.Reset();
}

uint32_t CTARNNetClient::UnansweredUdpPings() const {
  Guard guard(lock_);
  return unansweredPings_;
}

void CTARNNetClient::GiveUpUdp() {
  Guard guard(lock_);
  udpFailed_ = true;
  unansweredPings_ = 0;
}

bool CTARNNetClient::UdpReaskFailed() const {
  Guard guard(lock_);
  return udpFailed_;
}

void CTARNNetClient::SetRetry(uint32_t milliseconds) {
  Guard guard(lock_);
  retry_.SetDuration(milliseconds);
  retry_.Reset();
}

bool CTARNNetClient::RetryDue() const {
  Guard guard(lock_);
  return retry_.IsElapsed();
}

uint32_t CTARNNetClient::GetUploadState() const {
  Guard guard(lock_);
  return uploadState_;
}
void CTARNNetClient::SetUploadState(uint32_t state) {
  Guard guard(lock_);
  uploadState_ = state;
}
uint32_t CTARNNetClient::GetDownloadState() const {
  Guard guard(lock_);
  return downloadState_;
}
void CTARNNetClient::SetDownloadState(uint32_t state) {
  Guard guard(lock_);
  downloadState_ = state;
}

Protocol::_tagStructPeerIdentity CTARNNetClient::GetIdentity() const {
  Guard guard(lock_);
  return identity_;
}
void CTARNNetClient::SetIdentity(const Protocol::_tagStructPeerIdentity& identity) {
  Guard guard(lock_);
  identity_ = identity;
}
uint32_t CTARNNetClient::GetAddress() const {
  Guard guard(lock_);
  return address_;
}
uint16_t CTARNNetClient::GetPort() const {
  Guard guard(lock_);
  return port_;
}
uint32_t CTARNNetClient::GetServerAddress() const {
  Guard guard(lock_);
  return serverAddress_;
}
uint16_t CTARNNetClient::GetServerPort() const {
  Guard guard(lock_);
  return serverPort_;
}
void CTARNNetClient::SetEndpoint(uint32_t address, uint16_t port, uint32_t serverAddress,
                                 uint16_t serverPort) {
  Guard guard(lock_);
  address_ = address;
  port_ = port;
  serverAddress_ = serverAddress;
  serverPort_ = serverPort;
}
uint32_t CTARNNetClient::GetCapabilities() const {
  Guard guard(lock_);
  return identity_.capabilities;
}

_tagUnionHash CTARNNetClient::GetRequestedFile() const {
  Guard guard(lock_);
  return requestedFile_;
}
void CTARNNetClient::SetRequestedFile(const _tagUnionHash* hash) {
  Guard guard(lock_);
  requestedFile_ = hash ? *hash : _tagUnionHash{};
}

void CTARNNetClient::SetSlotCall(const _tagUnionHash& user, const _tagUnionHash& file) {
  Guard guard(lock_);
  slotCall_.emplace(user, file);
}

std::optional<std::pair<_tagUnionHash, _tagUnionHash>> CTARNNetClient::TakeSlotCall() {
  Guard guard(lock_);
  return std::exchange(slotCall_, std::nullopt);
}

bool CTARNNetClient::TakeSourceAsk(const _tagUnionHash& file) {
  Guard guard(lock_);
  const uint32_t now = OSTREL::Process::CTickSource::Now();
  if (file == sourceAskFile_ && now - sourceAskTick_ < Protocol::kSourceAskIntervalMs) return false;
  sourceAskFile_ = file;
  sourceAskTick_ = now;
  return true;
}
_tagStructRequestRecord CTARNNetClient::GetRequest() const {
  Guard guard(lock_);
  return request_;
}
void CTARNNetClient::SetRequest(const _tagStructRequestRecord& request) {
  Guard guard(lock_);
  request_ = request;
}

ITARNNetClientSession* CTARNNetClient::GetSession() const {
  Guard guard(lock_);
  return session_;
}
void CTARNNetClient::SetSession(ITARNNetClientSession* session) {
  Guard guard(lock_);
  session_ = session;
}

std::optional<std::vector<uint8_t>> CTARNNetClient::GetAvailability() const {
  Guard guard(lock_);
  return availability_;
}
void CTARNNetClient::SetAvailability(std::optional<std::vector<uint8_t>> availability) {
  Guard guard(lock_);
  availability_ = std::move(availability);
}

int32_t CTARNNetClient::GetUploadQueuePosition() const {
  Guard guard(lock_);
  return uploadQueuePosition_;
}
void CTARNNetClient::SetUploadQueuePosition(int32_t position) {
  Guard guard(lock_);
  uploadQueuePosition_ = position;
}
int32_t CTARNNetClient::GetRemoteQueueRank() const {
  Guard guard(lock_);
  return remoteQueueRank_;
}
void CTARNNetClient::SetRemoteQueueRank(int32_t rank) {
  Guard guard(lock_);
  remoteQueueRank_ = rank;
}

}  // namespace P2P::Client
