// The base of a socket object driven by the multiplexer (a peer connection): an event socket
// without a thread of its own, reference-counted (the manager holds one reference while the
// object is in its map), with the idle timer the manager's sweep looks at. Every network event
// counts as traffic and restarts the idle timer. Any thread may call it.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/CriticalSection.h"
#include "framework/ElapsedTime.h"
#include "framework/EventSocket.h"
#include "framework/NetworkEvents.h"
#include "framework/Reference.h"

namespace OSTREL::Network::Socket {

class CWaitMultipleSocketsManagerImpl;

class CManagedObjectBase : public CEventSocketBase {
 public:
  CManagedObjectBase(uint32_t eventMask, uint32_t idleTimeout) : CEventSocketBase(eventMask) {
    idleTimer_.SetDuration(idleTimeout);
  }

  virtual long AddRef() = 0;
  virtual long Release() = 0;

  void ResetIdleTimer() {
    Process::CLock guard(SocketLock());
    idleTimer_.Reset();
  }
  bool IsIdle() const {
    Process::CLock guard(SocketLock());
    return idleTimer_.IsElapsed();
  }
  void SetIdleTimeout(uint32_t milliseconds) {
    Process::CLock guard(SocketLock());
    idleTimer_.SetDuration(milliseconds);
  }

  // The manager that drives the object, while it is in one.
  CWaitMultipleSocketsManagerImpl* GetManager() const { return manager_.load(); }
  uint64_t GetManagerKey() const { return key_.load(); }
  void SetManager(CWaitMultipleSocketsManagerImpl* manager, uint64_t key) {
    key_.store(key);
    manager_.store(manager);
  }

  int OnManagedNetworkEvent(uint32_t readiness) {
    ResetIdleTimer();
    return OnNetworkEvent(readiness);
  }

 private:
  Process::CElapsedTimeT<30000> idleTimer_ GUARDED_BY(SocketLock());
  std::atomic<CWaitMultipleSocketsManagerImpl*> manager_{nullptr};  // set under the manager's lock
  std::atomic<uint64_t> key_{0};
};

// What a peer connection class Object derives from: Object's own reference count plus the
// managed event socket with its idle time-out and event set.
template <typename Object, uint32_t Timeout = 30000, typename Traits = CConnecterTraits>
class CManagedObjectT : public CManagedObjectBase, public CReferenceT<Object> {
 public:
  CManagedObjectT() : CManagedObjectBase(Traits::kEvents, Timeout) {}
  long AddRef() override { return CReferenceT<Object>::AddRef(); }
  long Release() override { return CReferenceT<Object>::Release(); }
};

}  // namespace OSTREL::Network::Socket
