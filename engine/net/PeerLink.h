// The connection under a peer session, as the session's parts use it: send, close, the send
// queue's length, reading paused or resumed, the idle limit, and a hold that keeps the
// connection alive while a registry hands it to another thread. The socket object that drives
// a session implements it; tests and the fuzz target give a session one without a socket. Any
// thread, as the implementation allows (the socket object's operations are thread-safe).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace P2P {

class ITARNNetPeerLink {
 public:
  virtual ~ITARNNetPeerLink() = default;

  virtual bool IsOpen() const = 0;
  // The remote side's address on this connection (network byte order).
  virtual uint32_t RemoteAddress() const = 0;
  // Queues whole packets for sending; false when the connection cannot take them.
  virtual bool Send(std::span<const uint8_t> bytes) = 0;
  virtual size_t QueuedSendBytes() const = 0;
  virtual void Close() = 0;
  // Stops or resumes reading from the connection (TCP then holds the sender back).
  virtual void PauseReceiving(bool paused) = 0;
  // A new idle limit, counted from now.
  virtual void SetIdleLimit(uint32_t milliseconds) = 0;
  // Keeps the connection (and its session) alive for a caller on another thread: false when
  // it is already on its way out. Every successful Hold is matched by one Unhold.
  virtual bool Hold() = 0;
  virtual void Unhold() = 0;

  // One packet of `protocol` and `opcode`. A peer that lets our answers pile up (more than
  // the send backlog allows) is closed instead.
  bool SendPacket(uint8_t protocol, uint8_t opcode, std::span<const uint8_t> payload = {});
};

}  // namespace P2P
