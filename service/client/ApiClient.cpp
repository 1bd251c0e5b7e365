#include "service/client/ApiClient.h"

#include <poll.h>
#include <time.h>

#include <cstdlib>
#include <string_view>

#include "service/client/RemoteConnection.h"
#include "service/client/RemoteObjects.h"

namespace OSTREL::COM {

CApiClient::CApiClient(std::unique_ptr<sdbus::IConnection> connection, std::string destination)
    : connection_(std::move(connection)), destination_(std::move(destination)) {}

CApiClient::~CApiClient() = default;

std::unique_ptr<CApiClient> CApiClient::ForSessionBus() {
  try {
    return std::make_unique<CApiClient>(sdbus::createSessionBusConnection());
  } catch (const sdbus::Error&) {
    return nullptr;
  }
}

bool CApiClient::DaemonOnSystemBus() {
  const char* bus = std::getenv("TARN_BUS");
  return bus != nullptr && std::string_view(bus) == "system";
}

std::unique_ptr<CApiClient> CApiClient::ForDaemon() {
  if (!DaemonOnSystemBus()) return ForSessionBus();
  try {
    return std::make_unique<CApiClient>(sdbus::createSystemBusConnection());
  } catch (const sdbus::Error&) {
    return nullptr;
  }
}

namespace {
const char* const kServiceManagerPath = "/com/ostrel/TarnSvc/ServiceManager";
}  // namespace

std::shared_ptr<IP2PServiceManager> CApiClient::ServiceManager() {
  return std::make_shared<CRemoteServiceManager>(*this, sdbus::ObjectPath(kServiceManagerPath));
}

std::shared_ptr<IP2PConnection> CApiClient::ServerConnection() {
  return std::make_shared<CRemoteConnection>(*connection_, destination_, kServiceManagerPath);
}

std::string CApiClient::NameOwner() {
  try {
    auto bus = sdbus::createProxy(*connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus");
    std::string owner;
    bus->callMethod("GetNameOwner")
        .onInterface("org.freedesktop.DBus")
        .withArguments(destination_)
        .storeResultsTo(owner);
    return owner;
  } catch (const sdbus::Error&) {
    return {};
  }
}

int BusPollTimeout(uint64_t deadlineUsec) {
  if (deadlineUsec == UINT64_MAX) return -1;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t nowUsec = static_cast<uint64_t>(now.tv_sec) * 1000000 +
                           static_cast<uint64_t>(now.tv_nsec) / 1000;
  if (deadlineUsec <= nowUsec) return 0;
  const uint64_t ms = (deadlineUsec - nowUsec + 999) / 1000;
  return ms > 1000 ? 1000 : static_cast<int>(ms);
}

bool CApiClient::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  try {
    while (!done()) {
      if (connection_->processPendingRequest()) continue;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      const auto data = connection_->getEventLoopPollData();
      pollfd fd{data.fd, data.events, 0};
      ::poll(&fd, 1, static_cast<int>(std::min<int64_t>(left.count(), 100)));
    }
  } catch (const sdbus::Error&) {
    return false;
  }
  return true;
}

}  // namespace OSTREL::COM
