// A remote client played by a test over a plain loopback socket: it says hello as the user it
// is told to be, proves that user's identity with a key of its own when it has one, asks for
// uploads and blocks, and reads the engine's packets one at a time. Secure identification
// packets are answered as they come and never handed to the test. One thread at a time.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/base/ClientConfig.h"
#include "engine/base/Hash.h"

namespace P2P::Credit {
class CTARNNetClientCreditList;
}

namespace tarn::test {

class RawPeerClient {
 public:
  struct Packet {
    uint8_t protocol = 0;
    uint8_t opcode = 0;  // 0: the stream ended or nothing came in time
    std::string body;    // after the opcode
  };
  // A data packet's header (sending part).
  struct Data {
    uint32_t start = 0;
    uint32_t end = 0;
  };

  explicit RawPeerClient(const P2P::_tagUnionHash& user);
  ~RawPeerClient();
  RawPeerClient(const RawPeerClient&) = delete;
  RawPeerClient& operator=(const RawPeerClient&) = delete;

  const P2P::_tagUnionHash& User() const { return own_.userHash; }
  // The client proves its user hash with this key (Base64 DER text); set before Hello.
  bool SetIdentityKey(const std::string& privateKeyText);

  bool Connect(uint16_t port);
  void Disconnect();
  bool IsConnected() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

  // The hello bytes alone, for tests that pipeline many clients.
  std::vector<uint8_t> HelloPacket() const;
  // Sends the hello and reads up to the hello answer.
  bool Hello();
  bool Send(uint8_t protocol, uint8_t opcode, std::span<const uint8_t> payload = {});
  bool SendHashed(uint8_t opcode, const P2P::_tagUnionHash& file);
  bool RequestParts(const P2P::_tagUnionHash& file, std::array<uint32_t, 3> starts,
                    std::array<uint32_t, 3> ends);
  // The next packet that is not part of secure identification.
  Packet Read(std::chrono::milliseconds deadline = std::chrono::seconds(5));
  // The next packet of `opcode` (E3 or C5), skipping others; opcode 0 when none came.
  Packet ReadUntil(uint8_t opcode, std::chrono::milliseconds deadline = std::chrono::seconds(5));

  static bool ParseData(const Packet& packet, Data& data);
  static uint16_t RankOf(const Packet& packet);

 private:
  void AnswerSecureIdent(const Packet& packet);

  P2P::_tagStructClientConfig own_;
  P2P::_tagUnionHash engineUser_{};
  std::unique_ptr<P2P::Credit::CTARNNetClientCreditList> identity_;
  bool stateSent_ = false;
  std::string pending_;  // received bytes not yet a whole packet
  int fd_ = -1;
};

}  // namespace tarn::test
