#include "service/dbus/ApiBus.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include "framework/CriticalSection.h"
#include "framework/Log.h"
#include "service/automation/P2PConnection.h"
#include "service/automation/P2PServiceManager.h"
#include "service/client/ApiClient.h"
#include "service/dbus/ExportedObjects.h"

namespace OSTREL::COM {

CApiBus::CApiBus(std::unique_ptr<sdbus::IConnection> connection, Process::IServerLock* lock,
                 size_t maxObjectsPerClient)
    : connection_(std::move(connection)), lock_(lock), maxObjectsPerClient_(maxObjectsPerClient) {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CApiBus::~CApiBus() {
  Stop();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool CApiBus::Start(std::shared_ptr<IEngineAccess> engine, const std::string& busName) {
  // The objects post their events to this bus; it outlives them (Stop ends them first).
  context_ = SAutomationContext::Make(std::move(engine),
                                      std::shared_ptr<IEventExecutor>(this, [](IEventExecutor*) {}));
  try {
    busDaemon_ = sdbus::createProxy(*connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus");
    busDaemon_->uponSignal("NameOwnerChanged")
        .onInterface("org.freedesktop.DBus")
        .call([this](const std::string& name, const std::string& oldOwner,
                     const std::string& newOwner) {
          if (!name.empty() && name[0] == ':' && !oldOwner.empty() && newOwner.empty())
            ClientLeft(name);
        });
    busDaemon_->finishRegistration();
    serviceManager_ = std::make_shared<CExportedServiceManager>(
        *this, *connection_, kServiceManagerPath, std::make_shared<CP2PServiceManager>(context_),
        std::make_shared<CP2PConnection>(context_));
    if (!busName.empty()) connection_->requestName(busName);
  } catch (const sdbus::Error& error) {
    LogError("automation API: ", error.getMessage());
    serviceManager_.reset();
    busDaemon_.reset();
    context_->hub->Detach();
    return false;
  }
  thread_ = std::thread([this] { Loop(); });
  return true;
}

void CApiBus::Stop() {
  if (!context_) return;
  stop_.store(true);
  const uint64_t one = 1;
  if (::write(wakeFd_, &one, sizeof one) < 0) { /* the loop also wakes once a second */ }
  if (thread_.joinable()) thread_.join();
  // The objects leave the bus outside the table's lock: the bus thread takes the two locks
  // the other way round (the connection's, then the table's when it exports).
  std::map<uint64_t, std::shared_ptr<CExportedObject>> objects;
  std::vector<std::shared_ptr<CExportedObject>> retired;
  {
    OSTREL::Process::CLock guard(tableLock_);
    objects.swap(objects_);
    retired.swap(retired_);
    for (size_t i = 0; i < clients_.size(); ++i) {
      if (lock_ != nullptr) lock_->Unlock();
    }
    clients_.clear();
  }
  objects.clear();
  retired.clear();
  serviceManager_.reset();
  busDaemon_.reset();
  events_.Drain();  // posted sinks find their objects gone
  context_->hub->Detach();
  context_.reset();
}

bool CApiBus::Post(Task task) {
  if (!events_.Push(std::move(task))) return false;
  const uint64_t one = 1;
  return ::write(wakeFd_, &one, sizeof one) == sizeof one;
}

void CApiBus::Loop() {
  while (!stop_.load()) {
    try {
      while (connection_->processPendingRequest()) DrainRetired();
      DrainRetired();
      if (events_.Drain() > 0) continue;  // flush the signals before sleeping
      const auto poll = connection_->getEventLoopPollData();
      pollfd fds[2] = {{poll.fd, poll.events, 0}, {wakeFd_, POLLIN, 0}};
      ::poll(fds, 2, BusPollTimeout(poll.timeout_usec));
      if (fds[1].revents & POLLIN) {
        uint64_t count = 0;
        if (::read(wakeFd_, &count, sizeof count) < 0) { /* nothing was pending */ }
      }
    } catch (const sdbus::Error& error) {
      LogError("automation API bus: ", error.getMessage());
      return;
    }
  }
}

std::set<uint64_t>& CApiBus::ClientLocked(const std::string& client) {
  auto [it, added] = clients_.try_emplace(client);
  if (added && lock_ != nullptr) lock_->Lock();
  return it->second;
}

void CApiBus::Touch(const std::string& client) {
  if (client.empty()) return;
  OSTREL::Process::CLock guard(tableLock_);
  ClientLocked(client);
}

HRESULT CApiBus::Release(uint64_t id, const std::string& caller) {
  if (id == 0) return S_OK;  // the service manager serves everyone and stays
  OSTREL::Process::CLock guard(tableLock_);
  const auto object = objects_.find(id);
  if (object == objects_.end()) return E_FAIL;
  if (object->second->Owner() != caller) return E_ACCESSDENIED;
  RetireLocked(id);
  return S_OK;
}

void CApiBus::RetireLocked(uint64_t id) {
  const auto object = objects_.find(id);
  if (object == objects_.end()) return;
  if (auto client = clients_.find(object->second->Owner()); client != clients_.end())
    client->second.erase(id);
  retired_.push_back(std::move(object->second));
  objects_.erase(object);
}

void CApiBus::DrainRetired() {
  std::vector<std::shared_ptr<CExportedObject>> retired;
  {
    OSTREL::Process::CLock guard(tableLock_);
    retired.swap(retired_);
  }
  retired.clear();  // unregisters the objects from the bus
}

void CApiBus::ClientLeft(const std::string& client) {
  {
    OSTREL::Process::CLock guard(tableLock_);
    const auto found = clients_.find(client);
    if (found == clients_.end()) return;
    const std::set<uint64_t> owned = found->second;
    for (const uint64_t id : owned) RetireLocked(id);
    clients_.erase(client);
  }
  if (lock_ != nullptr) lock_->Unlock();
}

size_t CApiBus::ObjectCount() const {
  OSTREL::Process::CLock guard(tableLock_);
  return objects_.size();
}

size_t CApiBus::ClientCount() const {
  OSTREL::Process::CLock guard(tableLock_);
  return clients_.size();
}

}  // namespace OSTREL::COM
