#include "tests/support/LoopbackPair.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace tarn::test {
namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = kLoopbackAddress;
  address.sin_port = htons(port);
  return address;
}

int BoundTcpSocket(uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

LoopbackListener::LoopbackListener() {
  fd_ = BoundTcpSocket(port_);
  if (fd_ >= 0) listen(fd_, 64);
}

LoopbackListener::~LoopbackListener() {
  if (fd_ >= 0) close(fd_);
}

int LoopbackListener::Accept(std::chrono::milliseconds deadline) {
  pollfd ready{fd_, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(deadline.count())) != 1) return -1;
  return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

LoopbackPair::LoopbackPair() {
  LoopbackListener listener;
  client_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(listener.Port());
  if (client_ < 0 || connect(client_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return;
  server_ = listener.Accept();
}

LoopbackPair::~LoopbackPair() {
  if (client_ >= 0) close(client_);
  if (server_ >= 0) close(server_);
}

int LoopbackPair::TakeClient() {
  const int fd = client_;
  client_ = -1;
  return fd;
}

int LoopbackPair::TakeServer() {
  const int fd = server_;
  server_ = -1;
  return fd;
}

RefusingPort::RefusingPort() { fd_ = BoundTcpSocket(port_); }

RefusingPort::~RefusingPort() {
  if (fd_ >= 0) close(fd_);
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

std::string ReadExactly(int fd, size_t size, std::chrono::milliseconds deadline) {
  std::string bytes;
  const auto end = std::chrono::steady_clock::now() + deadline;
  char chunk[65536];
  while (bytes.size() < size) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(left.count())) != 1) break;
    const size_t want = std::min(sizeof chunk, size - bytes.size());
    const ssize_t got = recv(fd, chunk, want, 0);
    if (got <= 0) break;
    bytes.append(chunk, static_cast<size_t>(got));
  }
  return bytes;
}

void CloseWithReset(int fd) {
  const linger abortive{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  close(fd);
}

}  // namespace tarn::test
