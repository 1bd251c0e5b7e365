#include "framework/EventSocket.h"

#include <sys/epoll.h>

#include <algorithm>

#include "framework/SocketError.h"

namespace OSTREL::Network::Socket {

using Process::CLock;

CEventSocketBase::CEventSocketBase(uint32_t eventMask) : eventMask_(eventMask) {}

CEventSocketBase::~CEventSocketBase() {
  CLock guard(socketLock_);
  DetachWaiterLocked();
  socket_.Close(true);
}

bool CEventSocketBase::Failed() {
  SetLastError(socket_.LastError());
  return false;
}

bool CEventSocketBase::Create(uint16_t port, int type, int protocol, int family,
                              std::string_view address) {
  CLock guard(socketLock_);
  DetachWaiterLocked();
  socket_.Close(true);
  send_.Clear();
  receiveStale_ = true;
  wantWrite_ = false;
  receivePaused_ = false;
  state_ = State::kClosed;
  if (!socket_.Create(port, type, protocol, family, address)) return Failed();
  // A datagram socket is writable at once, as Winsock announces with one FD_WRITE.
  state_ = type == SOCK_DGRAM ? State::kDatagram : State::kBound;
  wantWrite_ = type == SOCK_DGRAM;
  SetLastError(0);
  SyncRegistration();
  return true;
}

bool CEventSocketBase::Attach(int acceptedFd) {
  CLock guard(socketLock_);
  DetachWaiterLocked();
  socket_ = CSocketT<1>(acceptedFd);
  send_.Clear();
  receiveStale_ = true;
  wantWrite_ = false;
  receivePaused_ = false;
  state_ = State::kClosed;
  if (!socket_.IsValid()) {
    SetLastError(kWsaENotSock);
    return false;
  }
  if (!socket_.SetNonBlocking()) {
    socket_.Close(true);
    return Failed();
  }
  state_ = State::kConnected;
  SetLastError(0);
  SyncRegistration();
  return true;
}

void CEventSocketBase::Close(bool hard) {
  CLock guard(socketLock_);
  DetachWaiterLocked();
  socket_.Close(hard);
  state_ = State::kClosed;
  wantWrite_ = false;
  send_.Clear();
}

bool CEventSocketBase::Listen(int backlog) {
  CLock guard(socketLock_);
  if (!socket_.Listen(backlog)) return Failed();
  state_ = State::kListening;
  SyncRegistration();
  return true;
}

bool CEventSocketBase::Connect(uint32_t ipNetworkOrder, uint16_t port) {
  CLock guard(socketLock_);
  if (!socket_.Connect(ipNetworkOrder, port)) return Failed();
  // Even an immediate success is reported through OnConnect, as with a pending one.
  state_ = State::kConnecting;
  SetLastError(socket_.LastError());
  SyncRegistration();
  return true;
}

bool CEventSocketBase::Connect(std::string_view host, uint16_t port) {
  const auto ip = ResolveIPv4(host);
  if (!ip || host.empty()) {
    SetLastError(kWsaHostNotFound);
    return false;
  }
  return Connect(*ip, port);
}

bool CEventSocketBase::Accept(int& acceptedFd, sockaddr_in* from) {
  CLock guard(socketLock_);
  if (!socket_.Accept(acceptedFd, from)) return Failed();
  return true;
}

bool CEventSocketBase::Send(std::span<const uint8_t> bytes) {
  CLock guard(socketLock_);
  if (state_ == State::kClosed) {
    SetLastError(kWsaENotSock);
    return false;
  }
  // With nothing queued the bytes go straight to the network; only what it does not take
  // now is copied into the queue.
  if (state_ != State::kConnecting && send_.IsEmpty() && !bytes.empty()) {
    size_t sent = 0;
    const bool ok = socket_.Send(bytes.data(), bytes.size(), sent);
    if (!ok) {
      SetLastError(socket_.LastError());
      if (CSocketError::IsRealError(LastError())) return false;
    }
    bytes = bytes.subspan(std::min(sent, bytes.size()));
    if (bytes.empty()) return true;
  }
  send_.Append(bytes);
  return FlushLocked();
}

bool CEventSocketBase::Flush() {
  CLock guard(socketLock_);
  return FlushLocked();
}

bool CEventSocketBase::FlushLocked() {
  // Until the connect completes the bytes wait; the first write event sends them.
  if (state_ == State::kConnecting || send_.IsEmpty()) return true;
  size_t sent = 0;
  const bool ok = socket_.Send(send_.Data().data(), send_.Size(), sent);
  send_.Consume(sent);
  if (!ok) {
    SetLastError(socket_.LastError());
    if (CSocketError::IsRealError(LastError())) return false;
  }
  // Ask for writability only while bytes are queued, so an idle socket never spins.
  wantWrite_ = !send_.IsEmpty();
  SyncRegistration();
  return true;
}

size_t CEventSocketBase::QueuedSendBytes() const {
  CLock guard(socketLock_);
  return send_.Size();
}

bool CEventSocketBase::SendTo(std::span<const uint8_t> datagram, const sockaddr_in& to) {
  CLock guard(socketLock_);
  size_t sent = 0;
  if (!socket_.SendTo(datagram.data(), datagram.size(), to, sent)) return Failed();
  return true;
}

bool CEventSocketBase::SendTo(std::span<const uint8_t> datagram, uint32_t ipNetworkOrder,
                              uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = ipNetworkOrder;
  to.sin_port = htons(port);
  return SendTo(datagram, to);
}

bool CEventSocketBase::ReceiveFrom(std::span<uint8_t> buffer, size_t& received, sockaddr_in& from) {
  CLock guard(socketLock_);
  if (!socket_.ReceiveFrom(buffer.data(), buffer.size(), received, from)) return Failed();
  return true;
}

bool CEventSocketBase::ReceiveIntoBuffer() {
  CLock guard(socketLock_);
  // Bytes of an earlier connection go before the first bytes of the new one arrive. Clearing
  // here, on the handlers' thread, and not in Create/Attach, keeps the buffer single-threaded.
  if (receiveStale_) {
    receive_.Clear();
    receiveStale_ = false;
  }
  const std::span<uint8_t> tail = receive_.PrepareReceive();
  if (tail.empty()) {
    SetLastError(kWsaENoBufs);
    return false;
  }
  size_t received = 0;
  if (!socket_.Receive(tail.data(), tail.size(), received)) return Failed();
  receive_.Commit(received);
  return true;
}

bool CEventSocketBase::IsOpen() const {
  CLock guard(socketLock_);
  return socket_.IsValid();
}

int CEventSocketBase::Handle() const {
  CLock guard(socketLock_);
  return socket_.Handle();
}

uint16_t CEventSocketBase::GetLocalPort() const {
  CLock guard(socketLock_);
  return socket_.GetLocalPort();
}

bool CEventSocketBase::AttachWaiter(int epollFd, uint64_t key) {
  CLock guard(socketLock_);
  DetachWaiterLocked();
  waiterEpoll_ = epollFd;
  waiterKey_ = key;
  SyncRegistration();
  return socket_.IsValid();
}

void CEventSocketBase::DetachWaiter() {
  CLock guard(socketLock_);
  DetachWaiterLocked();
}

void CEventSocketBase::DetachWaiterLocked() {
  if (inWaiter_) epoll_ctl(waiterEpoll_, EPOLL_CTL_DEL, socket_.Handle(), nullptr);
  inWaiter_ = false;
  registered_ = 0;
  waiterEpoll_ = -1;
}

uint32_t CEventSocketBase::WantedReadiness() const {
  switch (state_) {
    case State::kClosed:
    case State::kBound:  // an unconnected TCP socket reads as hung up: not yet in the set
      return 0;
    case State::kListening:
      return (eventMask_ & kFdAccept) ? uint32_t{EPOLLIN} : 0u;
    case State::kConnecting:
      return EPOLLOUT;
    case State::kConnected:
    case State::kDatagram: {
      uint32_t wanted = 0;
      if ((eventMask_ & (kFdRead | kFdClose)) && !receivePaused_) wanted |= EPOLLIN | EPOLLRDHUP;
      if ((eventMask_ & kFdWrite) && wantWrite_) wanted |= EPOLLOUT;
      return wanted;
    }
  }
  return 0;
}

void CEventSocketBase::PauseReceiving(bool paused) {
  CLock guard(socketLock_);
  receivePaused_ = paused;
  SyncRegistration();
}

void CEventSocketBase::SyncRegistration() {
  if (waiterEpoll_ < 0 || !socket_.IsValid()) return;
  const uint32_t wanted = WantedReadiness();
  if (inWaiter_ && wanted == registered_) return;
  epoll_event event{};
  event.events = wanted;
  event.data.u64 = waiterKey_;
  if (!inWaiter_) {
    if (wanted == 0) return;
    inWaiter_ = epoll_ctl(waiterEpoll_, EPOLL_CTL_ADD, socket_.Handle(), &event) == 0;
  } else {
    epoll_ctl(waiterEpoll_, EPOLL_CTL_MOD, socket_.Handle(), &event);
  }
  registered_ = wanted;
}

CNetworkEvents CEventSocketBase::CollectNetworkEvents(uint32_t readiness) {
  CNetworkEvents found;
  if (!socket_.IsValid()) return found;
  const auto add = [&](uint32_t bit, int error) {
    if (eventMask_ & bit) found.Add(bit, error);
  };
  switch (state_) {
    case State::kListening:
      if (readiness & EPOLLIN) add(kFdAccept, 0);
      break;
    case State::kConnecting:
      if (readiness & (EPOLLOUT | EPOLLERR | EPOLLHUP)) {
        int error = socket_.TakePendingError();
        if (error == 0 && (readiness & EPOLLHUP)) error = kWsaEConnRefused;
        add(kFdConnect, error);
        if (error != 0) break;
        state_ = State::kConnected;
        // Winsock follows a connect with a write event: queued bytes go out now.
        add(kFdWrite, 0);
        if (readiness & EPOLLIN) add(kFdRead, 0);
      }
      break;
    case State::kConnected: {
      if (readiness & EPOLLERR) {
        const int error = socket_.TakePendingError();
        if (CSocketError::IsRealError(error)) {
          add(kFdClose, error);
          break;
        }
      }
      // Readable without a hang-up means bytes wait: the count is asked only when the stream
      // may have ended, which saves a system call per received packet.
      const bool ended = (readiness & (EPOLLRDHUP | EPOLLHUP)) != 0;
      const size_t pending = ended ? socket_.Pending() : 1;
      if ((readiness & EPOLLIN) && pending > 0) add(kFdRead, 0);
      if ((readiness & EPOLLOUT) && wantWrite_) {
        wantWrite_ = false;
        add(kFdWrite, 0);
      }
      // The close comes after the last byte has been read.
      if ((readiness & (EPOLLRDHUP | EPOLLHUP)) && pending == 0) add(kFdClose, 0);
      break;
    }
    case State::kDatagram:
      // ICMP errors of earlier datagrams say nothing about this socket: drop them.
      if (readiness & EPOLLERR) socket_.TakePendingError();
      if (readiness & EPOLLIN) add(kFdRead, 0);
      if ((readiness & EPOLLOUT) && wantWrite_) {
        wantWrite_ = false;
        add(kFdWrite, 0);
      }
      break;
    case State::kClosed:
    case State::kBound:
      break;
  }
  return found;
}

int CEventSocketBase::OnNetworkEvent(uint32_t readiness) {
  CNetworkEvents events;
  {
    CLock guard(socketLock_);
    events = CollectNetworkEvents(readiness);
    // A close is reported once; a stream at its end would otherwise wake the waiter forever.
    if (events.Has(kFdClose))
      DetachWaiterLocked();
    else
      SyncRegistration();
  }
  const int error = DispatchNetworkEvents(events);
  if (error != 0) DetachWaiter();
  return error;
}

int CEventSocketBase::DispatchNetworkEvents(const CNetworkEvents& events) {
  for (const uint32_t bit : kFdDispatchOrder) {
    if (!events.Has(bit)) continue;
    int error = events.ErrorOf(bit);
    if (!CSocketError::IsRealError(error)) error = 0;
    CallHandler(bit, error);
    if (error != 0) return error;
  }
  return 0;
}

void CEventSocketBase::OnIdleTimeout() { CallHandler(kFdClose, kWsaETimedOut); }

void CEventSocketBase::CallHandler(uint32_t bit, int error) {
  if (CSocketError::IsRealError(error)) {
    SetLastError(error);
    OnError(error);
    return;
  }
  switch (bit) {
    case kFdRead:
      OnReceive(error);
      break;
    case kFdWrite:
      OnSend(error);
      break;
    case kFdConnect:
      OnConnect(error);
      break;
    case kFdClose:
      OnClose(error);
      break;
    case kFdAccept:
      OnAccept(error);
      break;
    default:
      break;  // events without a handler are ignored unless they carry an error
  }
}

void CEventSocketBase::OnReceive(int /*error*/) {
  if (!ReceiveIntoBuffer()) {
    if (CSocketError::IsRealError(LastError())) OnError(LastError());
    return;
  }
  const size_t consumed = OnReceiveData(receive_.Data());
  receive_.Consume(consumed);
}

void CEventSocketBase::OnSend(int /*error*/) {
  if (!Flush()) OnError(LastError());
}

}  // namespace OSTREL::Network::Socket
