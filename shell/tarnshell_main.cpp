// tarnshell: the desktop side of TARN.
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  std::cerr << "tarnshell: usage: tarnshell ui [--port N] [--no-open]\n";
  return 2;
}
