// tarn: the command line of the TARN daemon, over its automation API on the session bus.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "cli/TarnCommands.h"

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

// The width of the terminal on standard output, asked each time (it may be resized); COLUMNS,
// then 80, when it does not say.
size_t TerminalColumns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (const char* columns = std::getenv("COLUMNS"); columns != nullptr && std::atoi(columns) > 0)
    return static_cast<size_t>(std::atoi(columns));
  return 80;
}

}  // namespace

int main(int argc, char** argv) {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::vector<std::string> arguments(argv + 1, argv + argc);
  const bool terminal = isatty(STDOUT_FILENO) == 1;
  tarn::cli::STarnIo io{std::cout,    std::cerr,
                        terminal,     &interrupted,
                        OSTREL::COM::CApiClient::DaemonOnSystemBus(),
                        terminal ? &TerminalColumns : nullptr};
  tarn::cli::CTarnCommands commands(&OSTREL::COM::CApiClient::ForDaemon, io);
  return commands.Run(arguments);
}
