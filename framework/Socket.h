// Thin non-blocking IPv4 sockets. CSocketT<0> borrows a descriptor, CSocketT<1> owns it and
// closes it when destroyed. Every operation stores the Winsock-numbered error of a failure
// (see SocketError.h) and returns false; nothing throws. Not synchronised: one owner, or the
// owner's lock.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace OSTREL::Network::Socket {

inline constexpr int kInvalidSocket = -1;

// An IPv4 address for a dotted text or a host name (first IPv4 address); an empty text is
// INADDR_ANY. The result is in network byte order.
std::optional<uint32_t> ResolveIPv4(std::string_view host);

// Operations shared by the borrowing and the owning socket.
class CSocketBase {
 public:
  int Handle() const { return fd_; }
  bool IsValid() const { return fd_ != kInvalidSocket; }
  int LastError() const { return lastError_; }

  // Creates a non-blocking socket bound to `port` (0: any free port) on `address` (empty:
  // all interfaces). A failed bind closes the socket again.
  bool Create(uint16_t port, int type, int protocol = 0, int family = AF_INET,
              std::string_view address = {});
  bool Listen(int backlog);
  // Starts a non-blocking connect: true when connected or under way (LastError() is then
  // kWsaEWouldBlock); the outcome is reported by writability.
  bool Connect(uint32_t ipNetworkOrder, uint16_t port);
  bool Connect(std::string_view host, uint16_t port);
  // Takes one pending connection; the new descriptor is non-blocking.
  bool Accept(int& accepted, sockaddr_in* from = nullptr);
  bool Send(const void* data, size_t size, size_t& sent);
  bool SendTo(const void* data, size_t size, const sockaddr_in& to, size_t& sent);
  // `received` 0 with true means the peer closed the stream in order.
  bool Receive(void* buffer, size_t size, size_t& received);
  bool ReceiveFrom(void* buffer, size_t size, size_t& received, sockaddr_in& from);
  // Number of bytes that can be read at once.
  size_t Pending() const;
  // The socket's pending error (SO_ERROR), cleared by reading it, as a Winsock number.
  int TakePendingError();
  // Local port in host byte order, 0 when unknown.
  uint16_t GetLocalPort() const;
  bool SetOption(int level, int name, const void* value, unsigned size);
  bool SetNonBlocking();
  // Closes the descriptor; `hard` makes the close abortive (linger on, time-out 0), so the
  // peer sees a reset and the port is free at once.
  void Close(bool hard);
  int Detach();

 protected:
  CSocketBase() = default;
  explicit CSocketBase(int fd) : fd_(fd) {}
  bool Fail();
  bool Fail(int wsaError);

  int fd_ = kInvalidSocket;
  int lastError_ = 0;
};

template <int Owned>
class CSocketT;

// Borrows a descriptor someone else owns and closes.
template <>
class CSocketT<0> : public CSocketBase {
 public:
  explicit CSocketT(int fd = kInvalidSocket) : CSocketBase(fd) {}
};

// Owns its descriptor: closes it (gracefully) when destroyed.
template <>
class CSocketT<1> : public CSocketBase {
 public:
  explicit CSocketT(int fd = kInvalidSocket) : CSocketBase(fd) {}
  ~CSocketT() { Close(false); }
  CSocketT(const CSocketT&) = delete;
  CSocketT& operator=(const CSocketT&) = delete;
  CSocketT(CSocketT&& other) noexcept : CSocketBase(other.Detach()) {}
  CSocketT& operator=(CSocketT&& other) noexcept {
    if (this != &other) {
      Close(false);
      fd_ = other.Detach();
    }
    return *this;
  }
};

// Sets SOL_SOCKET options on a borrowed socket.
class CSOLSocketOption : public CSocketT<0> {
 public:
  explicit CSOLSocketOption(int fd) : CSocketT<0>(fd) {}
  bool SetLinger(bool on, uint16_t seconds);
};

}  // namespace OSTREL::Network::Socket
