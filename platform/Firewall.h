// Opens the engine's peer ports in the host firewall when firewalld runs on the system bus:
// both ports are added to the default zone at run time (not permanently). Without a system
// bus or without firewalld nothing happens, silently. The work runs on a thread of its own,
// so a slow bus never holds up the engine's start; Wait joins it. IFirewall lets the engine
// take a fake one in tests, so they never reach the real D-Bus client. One owner thread.
#pragma once

#include <cstdint>
#include <thread>

namespace OSTREL::Platform {

class IFirewall {
 public:
  virtual ~IFirewall() = default;
  // Asks for both peer ports to be opened; returns at once.
  virtual void OpenPortsAsync(uint16_t tcpPort, uint16_t udpPort) = 0;
  // Waits until a request in progress has finished.
  virtual void Wait() = 0;
};

class CFirewall final : public IFirewall {
 public:
  ~CFirewall() override { Wait(); }

  void OpenPortsAsync(uint16_t tcpPort, uint16_t udpPort) override;
  void Wait() override;

  // Synchronous: true when firewalld took both ports.
  static bool OpenPorts(uint16_t tcpPort, uint16_t udpPort);

 private:
  std::thread worker_;
};

}  // namespace OSTREL::Platform
