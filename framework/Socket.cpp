#include "framework/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "framework/SocketError.h"

namespace OSTREL::Network::Socket {

std::optional<uint32_t> ResolveIPv4(std::string_view host) {
  if (host.empty()) return htonl(INADDR_ANY);
  const std::string text(host);
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) == 1) return parsed.s_addr;

  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
    return std::nullopt;
  uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return address;
}

namespace {

sockaddr_in MakeAddress(uint32_t ipNetworkOrder, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = ipNetworkOrder;
  return address;
}

}  // namespace

bool CSocketBase::Fail() { return Fail(CSocketError::FromErrno(errno)); }

bool CSocketBase::Fail(int wsaError) {
  lastError_ = wsaError;
  return false;
}

bool CSocketBase::Create(uint16_t port, int type, int protocol, int family,
                         std::string_view address) {
  Close(true);
  if (family != AF_INET) return Fail(kWsaEAfNoSupport);
  const auto ip = ResolveIPv4(address);
  if (!ip) return Fail(kWsaHostNotFound);

  fd_ = socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
  if (fd_ < 0) {
    fd_ = kInvalidSocket;
    return Fail();
  }
  const sockaddr_in local = MakeAddress(*ip, port);
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int error = CSocketError::FromErrno(errno);
    Close(false);
    return Fail(error);
  }
  lastError_ = 0;
  return true;
}

bool CSocketBase::Listen(int backlog) {
  if (listen(fd_, backlog) != 0) return Fail();
  return true;
}

bool CSocketBase::Connect(uint32_t ipNetworkOrder, uint16_t port) {
  const sockaddr_in remote = MakeAddress(ipNetworkOrder, port);
  if (connect(fd_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
    lastError_ = 0;
    return true;
  }
  Fail();
  return lastError_ == kWsaEWouldBlock;
}

bool CSocketBase::Connect(std::string_view host, uint16_t port) {
  const auto ip = ResolveIPv4(host);
  if (!ip || host.empty()) return Fail(kWsaHostNotFound);
  return Connect(*ip, port);
}

bool CSocketBase::Accept(int& accepted, sockaddr_in* from) {
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  accepted = accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (accepted < 0) {
    accepted = kInvalidSocket;
    return Fail();
  }
  if (from != nullptr) *from = peer;
  return true;
}

bool CSocketBase::Send(const void* data, size_t size, size_t& sent) {
  sent = 0;
  const ssize_t result = send(fd_, data, size, MSG_NOSIGNAL);
  if (result < 0) return Fail();
  sent = static_cast<size_t>(result);
  return true;
}

bool CSocketBase::SendTo(const void* data, size_t size, const sockaddr_in& to, size_t& sent) {
  sent = 0;
  const ssize_t result =
      sendto(fd_, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (result < 0) return Fail();
  sent = static_cast<size_t>(result);
  return true;
}

bool CSocketBase::Receive(void* buffer, size_t size, size_t& received) {
  received = 0;
  const ssize_t result = recv(fd_, buffer, size, 0);
  if (result < 0) return Fail();
  received = static_cast<size_t>(result);
  return true;
}

bool CSocketBase::ReceiveFrom(void* buffer, size_t size, size_t& received, sockaddr_in& from) {
  received = 0;
  socklen_t length = sizeof from;
  const ssize_t result = recvfrom(fd_, buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &length);
  if (result < 0) return Fail();
  received = static_cast<size_t>(result);
  return true;
}

size_t CSocketBase::Pending() const {
  int count = 0;
  if (ioctl(fd_, FIONREAD, &count) != 0 || count < 0) return 0;
  return static_cast<size_t>(count);
}

int CSocketBase::TakePendingError() {
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
  return CSocketError::FromErrno(error);
}

uint16_t CSocketBase::GetLocalPort() const {
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
  return ntohs(local.sin_port);
}

bool CSocketBase::SetOption(int level, int name, const void* value, unsigned size) {
  if (setsockopt(fd_, level, name, value, size) != 0) return Fail();
  return true;
}

void CSocketBase::Close(bool hard) {
  if (fd_ == kInvalidSocket) return;
  // An abortive close sends a reset straight away; a shutdown first would send a FIN ahead.
  if (hard)
    CSOLSocketOption(fd_).SetLinger(true, 0);
  else
    shutdown(fd_, SHUT_RDWR);
  close(fd_);
  fd_ = kInvalidSocket;
}

bool CSocketBase::SetNonBlocking() {
  const int flags = fcntl(fd_, F_GETFL);
  if (flags < 0 || fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) return Fail();
  return true;
}

int CSocketBase::Detach() {
  const int fd = fd_;
  fd_ = kInvalidSocket;
  return fd;
}

bool CSOLSocketOption::SetLinger(bool on, uint16_t seconds) {
  const linger value{on ? 1 : 0, seconds};
  return SetOption(SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

}  // namespace OSTREL::Network::Socket
