// tarnshell: the desktop side of TARN.
#include <signal.h>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "shell/ui/UiCommand.h"

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

}  // namespace

int main(int argc, char** argv) {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (!arguments.empty() && arguments[0] == "ui")
    return tarn::shell::ui::RunUiCommand({arguments.begin() + 1, arguments.end()}, std::cout,
                                         std::cerr, interrupted);
  std::cerr << "usage: tarnshell ui [--port N] [--no-open]\n";
  return 2;
}
