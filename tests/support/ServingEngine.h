// One engine's serving side on loopback, wired as the engine root wires it: the peer listener
// on a free port, the peer multiplexer, the client list, the credit list proving identities,
// and the upload service over one file whose bytes follow a pattern (ByteAt). The file is
// whole, or a download of which only the given parts are verified. A thread plays the
// engine's periodic upload pass, faster than once a second; a peer UDP endpoint, when asked
// for, answers reask pings from the upload queue. Tests and benchmarks.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "engine/base/ClientConfig.h"
#include "engine/net/PeerSessionContext.h"
#include "engine/net/TARNNetC2CListener.h"
#include "engine/net/TARNNetC2CManager.h"
#include "engine/net/TARNNetC2CUDPConnecter.h"
#include "engine/net/TARNNetClientCreditList.h"
#include "engine/net/TARNNetUploadService.h"
#include "engine/peers/ClientList.h"
#include "engine/peers/UploadScheduler.h"
#include "engine/transfer/TransferFile.h"

namespace tarn::test {

class ServingEngine {
 public:
  struct Options {
    uint32_t fileSize = 3 * 184320;
    // Empty: the file is whole. Otherwise one flag per part, 1 = verified.
    std::vector<uint8_t> verifiedParts;
    P2P::Client::_tagStructUploadSchedulerSettings scheduler;
    uint32_t maxConnections = 500;
    uint32_t maxUploadKiB = 0;
    uint32_t passMs = 100;  // 0: no pass thread; the test calls Pass()
    bool udp = false;       // a peer UDP endpoint answers reask pings (hellos name its port)
  };

  ServingEngine() = default;
  ~ServingEngine() { Stop(); }
  ServingEngine(const ServingEngine&) = delete;
  ServingEngine& operator=(const ServingEngine&) = delete;

  bool Start(const Options& options);
  void Stop();

  static uint8_t ByteAt(uint32_t offset) { return static_cast<uint8_t>((offset * 7u) >> 3); }
  uint16_t Port() const { return port_; }
  const P2P::_tagUnionHash& FileHash() const { return hash_; }
  P2P::_tagStructClientConfig& Config() { return own_; }
  P2P::CTARNNetUploadService& Service() { return *service_; }
  P2P::Credit::CTARNNetClientCreditList& Credits() { return *credits_; }
  P2P::CTARNNetC2CManager& Sessions() { return manager_; }
  P2P::CTARNNetC2CListener& Listener() { return listener_; }
  P2P::CTARNNetC2CUDPConnecter& Udp() { return udp_; }
  P2P::Client::CTARNNetClientList& Clients() { return clients_; }
  // What its sessions are built from; null while stopped.
  P2P::CPeerSessionContext* Context() { return context_.get(); }
  // Bytes the file was asked to read from parts that are not verified (must stay 0).
  uint64_t UnverifiedReads() const { return unverifiedReads_.load(); }
  // The engine's periodic upload pass: expiries, rotations, calls, resumed sending.
  void Pass();

 private:
  bool ReadPattern(uint32_t start, uint32_t end, std::vector<uint8_t>& data);

  Options options_;
  P2P::_tagStructClientConfig own_;
  P2P::_tagUnionHash hash_{};
  P2P::Shared::File::TransferFile::CTransferFilePtr file_;
  std::unique_ptr<P2P::Credit::CTARNNetClientCreditList> credits_;
  std::unique_ptr<P2P::CPeerSessionContext> context_;
  std::unique_ptr<P2P::CTARNNetUploadService> service_;
  P2P::CTARNNetC2CManager manager_;
  P2P::Client::CTARNNetClientList clients_;
  P2P::CTARNNetC2CListener listener_;
  P2P::CTARNNetC2CUDPConnecter udp_;
  uint16_t port_ = 0;
  std::atomic<uint64_t> unverifiedReads_{0};
  std::atomic<bool> stopping_{false};
  std::thread pass_;
  bool started_ = false;
};

}  // namespace tarn::test
