// One known eD2K index server: identity, the statistics of its last status answer and its
// reliability. Entries live in CTARNNetServerInfoList and are handed out as pointers that stay
// valid for the engine's life. Fields written outside the list lock (statistics, ping, failed
// count) are updated through std::atomic_ref by the server sessions and the checker.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/base/Hash.h"

namespace P2P::Remote::Server {

// The statistics of a server's status answer, in the answer's order, so the answer can be
// copied over them in one piece.
struct _tagStructServerStatus {
  uint32_t challenge = 0;
  uint32_t users = 0;
  uint32_t files = 0;
  uint32_t maxUsers = 0;
  uint32_t softFiles = 0;
  uint32_t hardFiles = 0;
  uint32_t udpFlags = 0;
  uint32_t lowIdUsers = 0;
};

struct _tagStructServerInfo {
  uint32_t id = 0;       // given when the entry enters the list; the API finds servers by it
  uint32_t address = 0;  // IPv4, the four bytes in wire order (first byte lowest); the key
  uint16_t port = 0;     // TCP port; the UDP port is this plus 4
  _tagUnionHash hash;
  std::string hostName;  // dynamic host name, or the dotted address
  std::string name;
  std::string description;
  uint32_t tcpFlags = 0;
  _tagStructServerStatus status;
  uint32_t ping = 0;             // milliseconds
  uint32_t lastCheckedTime = 0;  // tick count of the last status request; 0 = never
  uint32_t failedCount = 0;      // status requests not answered
};

// A failed count above this drops the entry from the data file.
inline constexpr uint32_t kMaxFailedCount = 10;

// Worth connecting to: not 0, not loopback, not multicast or reserved.
inline bool IsUsableServerAddress(uint32_t address) {
  const uint32_t firstByte = address & 0xFF;
  return address != 0 && firstByte != 127 && firstByte < 224;
}

inline bool IsLoopbackAddress(uint32_t address) { return (address & 0xFF) == 127; }

// Reads and writes of the fields that change outside the list lock.
inline uint32_t LoadField(const uint32_t& field) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_relaxed);
}
inline void StoreField(uint32_t& field, uint32_t value) {
  std::atomic_ref<uint32_t>(field).store(value, std::memory_order_relaxed);
}

// A copy taken under the list lock, reading the lock-free fields atomically.
_tagStructServerInfo SnapshotOf(const _tagStructServerInfo& entry);

// "a.b.c.d" of an address held in wire order.
std::string FormatAddress(uint32_t address);

}  // namespace P2P::Remote::Server
