// The server connection for command-line clients, beyond the slots of the service manager:
// the state of the session, and adding, removing and choosing servers by "IP:PORT". Any
// thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "service/automation/AutomationContext.h"
#include "service/automation/HResult.h"

namespace OSTREL::COM {

struct SConnectionState {
  bool connected = false;
  std::string address;  // "IP:PORT" of the current server; empty when none
  std::string name;
  uint32_t clientId = 0;
  bool lowId = false;
  uint32_t users = 0;
  uint32_t files = 0;
};

// Peer payload bytes since the engine started, and the current rates in bytes per second.
struct STransferTotals {
  uint64_t uploaded = 0;
  uint64_t downloaded = 0;
  uint64_t uploadRate = 0;
  uint64_t downloadRate = 0;
};

// A client of our uploads: holding a slot, or waiting in the queue.
struct SUploadQueueEntry {
  std::string userHash;  // hex
  std::string address;   // dotted IPv4
  std::string fileHash;  // hex
  std::string fileName;  // empty when the file is no longer known
  bool uploading = false;
  uint32_t rank = 0;     // 1-based queue position; 0 while uploading
  uint32_t seconds = 0;  // waited so far, or held the slot so far
  uint64_t sentBytes = 0;  // sent in the current slot
  double creditModifier = 1.0;
};

class IP2PConnection {
 public:
  virtual ~IP2PConnection() = default;
  virtual HRESULT GetConnectionState(SConnectionState* state) = 0;
  // S_FALSE when already listed.
  virtual HRESULT AddServer(const std::string& address) = 0;
  virtual HRESULT RemoveServer(const std::string& address) = 0;
  virtual HRESULT ConnectServer(const std::string& address) = 0;
  virtual HRESULT GetTransferTotals(STransferTotals* totals) = 0;
  // Slot holders first, then the queue in rank order.
  virtual HRESULT GetUploadQueue(std::vector<SUploadQueueEntry>* entries) = 0;
};

class CP2PConnection : public IP2PConnection {
 public:
  explicit CP2PConnection(std::shared_ptr<SAutomationContext> context)
      : context_(std::move(context)) {}

  HRESULT GetConnectionState(SConnectionState* state) override;
  HRESULT AddServer(const std::string& address) override;
  HRESULT RemoveServer(const std::string& address) override;
  HRESULT ConnectServer(const std::string& address) override;
  HRESULT GetTransferTotals(STransferTotals* totals) override;
  HRESULT GetUploadQueue(std::vector<SUploadQueueEntry>* entries) override;

 private:
  std::shared_ptr<SAutomationContext> context_;
};

}  // namespace OSTREL::COM
