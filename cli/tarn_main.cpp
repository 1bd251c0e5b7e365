// tarn: the command line of the TARN daemon, over its automation API on the session bus.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string_view>
#include <iostream>

#include "cli/TarnCommands.h"

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

// The system-wide daemon is reached with TARN_BUS=system, as its unit sets.
bool UsesSystemBus() {
  const char* bus = std::getenv("TARN_BUS");
  return bus != nullptr && std::string_view(bus) == "system";
}

// The session bus, or the system bus of a system-wide daemon.
std::unique_ptr<OSTREL::COM::CApiClient> ConnectToDaemon() {
  if (!UsesSystemBus()) return OSTREL::COM::CApiClient::ForSessionBus();
  try {
    return std::make_unique<OSTREL::COM::CApiClient>(sdbus::createSystemBusConnection());
  } catch (const sdbus::Error&) {
    return nullptr;
  }
}

}  // namespace

int main(int argc, char** argv) {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::vector<std::string> arguments(argv + 1, argv + argc);
  tarn::cli::STarnIo io{std::cout, std::cerr, isatty(STDOUT_FILENO) == 1, &interrupted,
                        UsesSystemBus()};
  tarn::cli::CTarnCommands commands(&ConnectToDaemon, io);
  return commands.Run(arguments);
}
