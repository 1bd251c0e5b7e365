// The automation API on D-Bus: owns the bus connection of tarnsvc and its one thread, which
// dispatches every method call, exports the objects clients obtain (each at its own path,
// owned by the caller, at most kMaxObjectsPerClient (engine/protocol/Limits.h) at once), releases
// them on Release or when their client leaves the bus, and emits the events posted from engine
// threads. Each client the bus sees holds one lock on the server. Start, Stop and Post may be
// called from any thread; everything else runs on the bus thread.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/protocol/Limits.h"
#include "framework/CriticalSection.h"
#include "service/automation/AutomationContext.h"
#include "service/automation/EventExecutor.h"
#include "service/dbus/ExportedObject.h"
#include "service/host/ServerLock.h"

namespace OSTREL::COM {

class CApiBus : public IEventExecutor {
 public:
  static constexpr const char* kServiceManagerPath = "/com/ostrel/TarnSvc/ServiceManager";
  static constexpr const char* kObjectPathPrefix = "/com/ostrel/TarnSvc/obj/";
  static constexpr size_t kEventCapacity = 65536;

  // `lock` may be null (no lock counting).
  CApiBus(std::unique_ptr<sdbus::IConnection> connection, Process::IServerLock* lock,
          size_t maxObjectsPerClient = P2P::Protocol::kMaxObjectsPerClient);
  ~CApiBus() override;
  CApiBus(const CApiBus&) = delete;
  CApiBus& operator=(const CApiBus&) = delete;

  // Publishes the service manager over `engine`, takes `busName` (unless empty) and starts
  // the bus thread. False when the name is taken or the bus fails.
  bool Start(std::shared_ptr<IEngineAccess> engine, const std::string& busName);
  // Ends the thread and every exported object; idempotent.
  void Stop();

  bool Post(Task task) override;

  // Exports `object` for `owner`: {S_OK, path}; a failed `hr` or a null object gives {hr, "/"};
  // a client at its cap gets {E_OUTOFMEMORY, "/"}.
  template <typename Interface>
  std::tuple<int32_t, sdbus::ObjectPath> Export(HRESULT hr, const std::string& owner,
                                                const std::shared_ptr<Interface>& object);
  HRESULT Release(uint64_t id, const std::string& caller);

  // For tests and benchmarks: objects alive, clients counted.
  size_t ObjectCount() const;
  size_t ClientCount() const;

  // Counts a client the first time it calls; called by the exported objects.
  void Touch(const std::string& client);

 private:
  void Loop();
  void ClientLeft(const std::string& client);
  void RetireLocked(uint64_t id) REQUIRES(tableLock_);
  // The objects of `client`, counting the client (one server lock) when it is new.
  std::set<uint64_t>& ClientLocked(const std::string& client) REQUIRES(tableLock_);
  void DrainRetired();
  uint64_t Admit(const std::string& owner, const std::shared_ptr<CExportedObject>& object);

  std::unique_ptr<sdbus::IConnection> connection_;
  Process::IServerLock* lock_;
  size_t maxObjectsPerClient_;
  std::shared_ptr<SAutomationContext> context_;
  std::unique_ptr<sdbus::IProxy> busDaemon_;
  std::shared_ptr<CExportedObject> serviceManager_;

  CEventQueue events_{kEventCapacity};
  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;

  // Bus thread only, except the counts read under lock.
  mutable OSTREL::Process::CMutex tableLock_;
  uint64_t nextId_ GUARDED_BY(tableLock_) = 1;
  std::map<uint64_t, std::shared_ptr<CExportedObject>> objects_ GUARDED_BY(tableLock_);
  std::map<std::string, std::set<uint64_t>> clients_ GUARDED_BY(tableLock_);
  // Objects released while one of their own calls runs: destroyed after it returns.
  std::vector<std::shared_ptr<CExportedObject>> retired_ GUARDED_BY(tableLock_);
};

}  // namespace OSTREL::COM
