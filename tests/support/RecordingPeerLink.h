// A connection for a peer session's parts with no socket under it: it keeps every packet sent
// (protocol, opcode, payload) and what the session asked of it (closed, reading paused, the
// idle limit), and reports the send queue length a test sets. Any thread: one lock.
#pragma once

#include <cstdint>
#include <cstring>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include "engine/net/PeerLink.h"

namespace tarn::test {

class RecordingPeerLink final : public P2P::ITARNNetPeerLink {
 public:
  struct SPacket {
    uint8_t protocol = 0;
    uint8_t opcode = 0;
    std::vector<uint8_t> payload;
  };

  explicit RecordingPeerLink(uint32_t remoteAddress = 0x0100007F) : address_(remoteAddress) {}

  bool IsOpen() const override {
    std::lock_guard guard(lock_);
    return open_;
  }
  uint32_t RemoteAddress() const override { return address_; }
  // Whole packets only: the parts hand over nothing else.
  bool Send(std::span<const uint8_t> bytes) override {
    std::lock_guard guard(lock_);
    if (!open_) return false;
    while (bytes.size() >= 6) {
      uint32_t length = 0;
      std::memcpy(&length, bytes.data() + 1, 4);
      if (length == 0 || bytes.size() < 5 + size_t{length}) break;
      sent_.push_back({bytes[0], bytes[5], {bytes.begin() + 6, bytes.begin() + 5 + length}});
      bytes = bytes.subspan(5 + length);
    }
    return true;
  }
  size_t QueuedSendBytes() const override {
    std::lock_guard guard(lock_);
    return queued_;
  }
  void Close() override {
    std::lock_guard guard(lock_);
    open_ = false;
  }
  void PauseReceiving(bool paused) override {
    std::lock_guard guard(lock_);
    readingPaused_ = paused;
  }
  void SetIdleLimit(uint32_t milliseconds) override {
    std::lock_guard guard(lock_);
    idleLimit_ = milliseconds;
  }
  bool Hold() override { return IsOpen(); }
  void Unhold() override {}

  // The packets sent since the last call.
  std::vector<SPacket> Take() {
    std::lock_guard guard(lock_);
    return std::exchange(sent_, {});
  }
  // The opcodes sent since the last call, in order.
  std::vector<uint8_t> TakeOpcodes() {
    std::vector<uint8_t> opcodes;
    for (const SPacket& packet : Take()) opcodes.push_back(packet.opcode);
    return opcodes;
  }
  void SetQueuedSendBytes(size_t bytes) {
    std::lock_guard guard(lock_);
    queued_ = bytes;
  }
  bool ReadingPaused() const {
    std::lock_guard guard(lock_);
    return readingPaused_;
  }
  uint32_t IdleLimit() const {
    std::lock_guard guard(lock_);
    return idleLimit_;
  }

 private:
  const uint32_t address_;
  mutable std::mutex lock_;
  bool open_ = true;
  bool readingPaused_ = false;
  uint32_t idleLimit_ = 0;
  size_t queued_ = 0;
  std::vector<SPacket> sent_;
};

}  // namespace tarn::test
