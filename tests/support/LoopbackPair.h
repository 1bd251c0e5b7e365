// Test fixtures for socket code on 127.0.0.1 only: a connected TCP pair, a listener with a
// free port, and a port that refuses connections. Plain descriptors (blocking unless asked
// otherwise), closed by the fixture unless taken.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tarn::test {

inline constexpr uint32_t kLoopbackAddress = 0x0100007Fu;  // 127.0.0.1 in network order

class LoopbackListener {
 public:
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  uint16_t Port() const { return port_; }
  // A blocking accepted descriptor, or -1 after `deadline`.
  int Accept(std::chrono::milliseconds deadline = std::chrono::seconds(5));

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// Two connected TCP descriptors; `client` connected to `server`.
class LoopbackPair {
 public:
  LoopbackPair();
  ~LoopbackPair();
  LoopbackPair(const LoopbackPair&) = delete;
  LoopbackPair& operator=(const LoopbackPair&) = delete;

  bool IsValid() const { return client_ >= 0 && server_ >= 0; }
  int Client() const { return client_; }
  int Server() const { return server_; }
  // Hands the descriptor over to the caller, who closes it.
  int TakeClient();
  int TakeServer();

 private:
  int client_ = -1;
  int server_ = -1;
};

// A port on 127.0.0.1 that is bound but not listening: connecting to it is refused.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// Blocking helpers on a plain descriptor.
bool WriteAll(int fd, const std::string& bytes);
// Reads until `size` bytes arrived, the peer closed, or the deadline passed.
std::string ReadExactly(int fd, size_t size, std::chrono::milliseconds deadline = std::chrono::seconds(5));
// Closes with a reset (linger on, time-out 0).
void CloseWithReset(int fd);

}  // namespace tarn::test
