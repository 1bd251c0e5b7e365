// tarnshell: the desktop side of TARN (link handling, desktop registration and the web page);
// it holds no network logic, every operation is a call into tarnsvc.
#include <signal.h>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "shell/ShellCommands.h"

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

}  // namespace

int main(int argc, char** argv) {
  // The page's server stops cleanly on Ctrl-C or a plain kill.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return tarn::shell::CShellCommands(std::cout, std::cerr, interrupted).Run(arguments);
}
