// Test stand-in for systemd's notification socket: a datagram socket bound to a path in a
// sandbox, to point NOTIFY_SOCKET at. One thread.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace tarn::test {

class FakeNotifySocket {
 public:
  explicit FakeNotifySocket(const std::filesystem::path& path) : path_(path) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~FakeNotifySocket() {
    ::close(fd_);
    ::unlink(path_.c_str());
  }
  FakeNotifySocket(const FakeNotifySocket&) = delete;
  FakeNotifySocket& operator=(const FakeNotifySocket&) = delete;

  bool Bound() const { return bound_; }

  // The next datagram, or an empty text after two seconds.
  std::string Receive() { return ReceiveWithin(std::chrono::seconds(2)); }

  // Skips datagrams until one contains `text`; empty when none came within the deadline.
  std::string ReceiveContaining(const std::string& text, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      std::string message = ReceiveWithin(left);
      if (message.find(text) != std::string::npos) return message;
    }
    return {};
  }

 private:
  std::string ReceiveWithin(std::chrono::milliseconds deadline) {
    pollfd fd{fd_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(deadline.count())) <= 0) return {};
    char buffer[1024];
    const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
    return got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
  }

  std::filesystem::path path_;
  int fd_ = -1;
  bool bound_ = false;
};

}  // namespace tarn::test
