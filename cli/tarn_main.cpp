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

}  // namespace

int main(int argc, char** argv) {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::vector<std::string> arguments(argv + 1, argv + argc);
  tarn::cli::STarnIo io{std::cout, std::cerr, isatty(STDOUT_FILENO) == 1, &interrupted,
                        OSTREL::COM::CApiClient::DaemonOnSystemBus()};
  tarn::cli::CTarnCommands commands(&OSTREL::COM::CApiClient::ForDaemon, io);
  return commands.Run(arguments);
}
