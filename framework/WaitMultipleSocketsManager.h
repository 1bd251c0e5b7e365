// The socket multiplexer for peer connections: managed objects are spread over wait objects
// (each as large as epoll allows, so one thread serves them all unless a smaller capacity is
// asked for), a wait object left empty is retired and disposed of by the manager's own thread,
// and an idle sweep once per second removes objects whose idle timer elapsed or whose socket
// is closed. Add, Remove, Start and Stop may be called from any thread,
// including from an object's handlers.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <vector>

#include "framework/CriticalSection.h"
#include "framework/ElapsedTimeManager.h"
#include "framework/Event.h"
#include "framework/ManagedObject.h"
#include "framework/Thread.h"
#include "framework/WaitMultipleSockets.h"

namespace OSTREL::Network::Socket {

class CWaitMultipleSocketsManagerImpl
    : public Process::CThreadImpl<CWaitMultipleSocketsManagerImpl>,
      public IWaitMultipleSocketsOwner,
      public IIdleSweeper {
 public:
  static constexpr uint32_t kSweepPeriod = 1000;

  // `socketsPerWaitObject` 0: as many as the system allows.
  explicit CWaitMultipleSocketsManagerImpl(size_t socketsPerWaitObject = 0);
  ~CWaitMultipleSocketsManagerImpl() override;

  // Starts the disposal thread and the idle sweep.
  bool Start() override;
  // Removes every object (hard close, release), disposes of every wait object, ends threads.
  bool Stop() override;

  // Takes a reference on `object` and has a wait object watch its socket. The socket should
  // already be connecting, connected or bound for datagrams.
  bool Add(CManagedObjectBase* object);
  // Stops watching `object`, closes its socket hard if still open and releases the
  // reference. False when the object was not in the manager.
  bool Remove(CManagedObjectBase* object);

  size_t ObjectCount() const;
  size_t WaitObjectCount() const;  // in the list, not retired
  long WaitObjectsAlive() const { return alive_.load(std::memory_order_acquire); }

  bool IsStopping() const override { return stopping_.load(std::memory_order_acquire); }
  void OnSocketReady(uint64_t key, uint32_t readiness) override;
  void SweepIdle() override;
  unsigned Run() override;

 private:
  bool PlaceLocked(uint64_t key, CManagedObjectBase& object) REQUIRES(managerLock_);
  void RetireLocked(CWaitMultipleSockets* waitObject) REQUIRES(managerLock_);
  void DisposeRetired();

  const size_t socketsPerWaitObject_;
  mutable Process::CCriticalSection managerLock_;
  std::map<uint64_t, CManagedObjectBase*> objects_ GUARDED_BY(managerLock_);
  std::list<CWaitMultipleSockets*> waitObjects_ GUARDED_BY(managerLock_);
  std::vector<CWaitMultipleSockets*> retired_ GUARDED_BY(managerLock_);
  std::atomic<long> alive_{0};
  std::atomic<bool> stopping_{true};
  uint64_t nextKey_ GUARDED_BY(managerLock_) = 16;  // below are the wait objects' own event keys
  Process::CEvent stopEvent_{Process::CEvent::Reset::kManual};
  Process::CEvent workEvent_{Process::CEvent::Reset::kManual};
  CElapsedTimeManager sweeper_{kSweepPeriod};
};

}  // namespace OSTREL::Network::Socket
