// Opens the engine's peer ports in the host firewall when firewalld runs on the system bus:
// both ports are added to the default zone at run time (not permanently). Without a system
// bus or without firewalld nothing happens, silently. The work runs on a thread of its own,
// so a slow bus never holds up the engine's start; Wait joins it. One owner thread.
#pragma once

#include <cstdint>
#include <thread>

namespace OSTREL::Platform {

class CFirewall {
 public:
  ~CFirewall() { Wait(); }

  void OpenPortsAsync(uint16_t tcpPort, uint16_t udpPort);
  void Wait();

  // Synchronous: true when firewalld took both ports.
  static bool OpenPorts(uint16_t tcpPort, uint16_t udpPort);

 private:
  std::thread worker_;
};

}  // namespace OSTREL::Platform
