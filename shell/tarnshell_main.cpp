// tarnshell: the desktop side of TARN (link handling and desktop registration); it holds no
// network logic, every operation is a call into tarnsvc.
#include <iostream>
#include <string>
#include <vector>

#include "shell/ShellCommands.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return tarn::shell::CShellCommands(std::cout, std::cerr).Run(arguments);
}
