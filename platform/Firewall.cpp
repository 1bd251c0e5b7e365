#include "platform/Firewall.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <string>

#include "framework/Log.h"

namespace OSTREL::Platform {
namespace {

constexpr const char* kService = "org.fedoraproject.FirewallD1";
constexpr const char* kPath = "/org/fedoraproject/FirewallD1";
constexpr const char* kZoneInterface = "org.fedoraproject.FirewallD1.zone";
// Each bus call gives up after this long.
constexpr uint64_t kCallTimeoutUsec = 2'000'000;

bool FirewalldIsRunning(sd_bus* bus) {
  sd_bus_message* reply = nullptr;
  int owned = 0;
  const int r =
      sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "NameHasOwner", nullptr, &reply, "s", kService);
  if (r >= 0) sd_bus_message_read(reply, "b", &owned);
  sd_bus_message_unref(reply);
  return r >= 0 && owned != 0;
}

bool AddPort(sd_bus* bus, uint16_t port, const char* protocol) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  // An empty zone name means the default zone; timeout 0 keeps it until firewalld reloads.
  const int r = sd_bus_call_method(bus, kService, kPath, kZoneInterface, "addPort", &error, &reply,
                                   "sssi", "", std::to_string(port).c_str(), protocol, 0);
  // A port that is already open is not a failure worth reporting.
  const bool ok = r >= 0 || (error.message && std::strstr(error.message, "ALREADY_ENABLED"));
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  return ok;
}

}  // namespace

bool CFirewall::OpenPorts(uint16_t tcpPort, uint16_t udpPort) {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return false;
  sd_bus_set_method_call_timeout(bus, kCallTimeoutUsec);
  bool opened = false;
  if (FirewalldIsRunning(bus)) {
    opened = AddPort(bus, tcpPort, "tcp") && AddPort(bus, udpPort, "udp");
    LogInfo(opened ? "firewall: opened" : "firewall: could not open", " TCP port ", tcpPort,
            " and UDP port ", udpPort);
  }
  sd_bus_flush_close_unref(bus);
  return opened;
}

void CFirewall::OpenPortsAsync(uint16_t tcpPort, uint16_t udpPort) {
  Wait();
  worker_ = std::thread([tcpPort, udpPort] { OpenPorts(tcpPort, udpPort); });
}

void CFirewall::Wait() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace OSTREL::Platform
