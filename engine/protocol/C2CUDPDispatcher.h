// The peer UDP endpoint's two faces: ITARNNetC2CUDPDispatcher, what the endpoint does (six
// receive handlers, then six sends), and ITARNNetC2CUDPEventDispatcher, what its owner hears
// of received datagrams, with the endpoint at hand to answer. Receive handlers run on the
// endpoint's thread; sends may come from any thread.
#pragma once

#include <cstdint>

#include "engine/base/Hash.h"
#include "engine/protocol/RecvUDPPacket.h"

namespace P2P::Protocol {

inline constexpr uint8_t kOpReaskFilePing = 0x90;  // file hash
inline constexpr uint8_t kOpReaskAck = 0x91;       // u16 queue rank
inline constexpr uint8_t kOpQueueFull = 0x92;
inline constexpr uint8_t kOpUdpFileNotFound = 0x93;
inline constexpr uint8_t kOpPeerUdp94 = 0x94;  // no payload read
inline constexpr uint8_t kOpUdpPortTest = 0xFE;   // u8, 0x12
inline constexpr uint8_t kPortTestByte = 0x12;

class ITARNNetC2CUDPDispatcher {
 public:
  virtual ~ITARNNetC2CUDPDispatcher() = default;

  virtual void OnReaskFilePing(const SUdpSender& from, const _tagUnionHash& hash) = 0;
  virtual void OnReaskAck(const SUdpSender& from, uint16_t rank) = 0;
  virtual void OnQueueFull(const SUdpSender& from) = 0;
  virtual void OnFileNotFound(const SUdpSender& from) = 0;
  virtual void OnPeerUdp94(const SUdpSender& from) = 0;
  virtual void OnPortTest(const SUdpSender& from) = 0;

  // Each sends one datagram at once; false when it could not be sent (nothing is queued).
  virtual bool SendReaskFilePing(uint32_t address, uint16_t port, const _tagUnionHash& hash) = 0;
  virtual bool SendReaskAck(uint32_t address, uint16_t port, uint16_t rank) = 0;
  virtual bool SendQueueFull(uint32_t address, uint16_t port) = 0;
  virtual bool SendFileNotFound(uint32_t address, uint16_t port) = 0;
  virtual bool SendPeerUdp94(uint32_t address, uint16_t port) = 0;
  virtual bool SendPortTest(uint32_t address, uint16_t port) = 0;
};

// Implemented by whoever answers peers over UDP (the upload queue); every event does nothing
// unless overridden.
class ITARNNetC2CUDPEventDispatcher {
 public:
  virtual ~ITARNNetC2CUDPEventDispatcher() = default;
  virtual void OnReaskFilePing(ITARNNetC2CUDPDispatcher& /*udp*/, const SUdpSender& /*from*/,
                               const _tagUnionHash& /*hash*/) {}
  virtual void OnReaskAck(ITARNNetC2CUDPDispatcher& /*udp*/, const SUdpSender& /*from*/,
                          uint16_t /*rank*/) {}
  virtual void OnQueueFull(ITARNNetC2CUDPDispatcher& /*udp*/, const SUdpSender& /*from*/) {}
  virtual void OnFileNotFound(ITARNNetC2CUDPDispatcher& /*udp*/, const SUdpSender& /*from*/) {}
  virtual void OnPeerUdp94(ITARNNetC2CUDPDispatcher& /*udp*/, const SUdpSender& /*from*/) {}
  virtual void OnPortTest(ITARNNetC2CUDPDispatcher& /*udp*/, const SUdpSender& /*from*/) {}
};

}  // namespace P2P::Protocol
