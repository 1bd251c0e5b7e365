// tarnsvc: the TARN daemon. "-RegServer", "-Service" and "-UnregServer" register and
// unregister it; without them it runs the network engine and its automation API until
// SIGTERM or SIGINT (or, as a local server, until its last client has left the bus).
#include <clocale>
#include <cstdio>
#include <cstring>

#include "framework/MessageLoop.h"
#include "service/host/TARNServiceModule.h"

namespace {

void PrintUsage(const char* program) {
  std::printf(
      "Usage: %s [--help | -RegServer | -Service | -UnregServer]\n"
      "Without a switch runs the TARN network engine until SIGTERM or SIGINT.\n"
      "-RegServer registers the D-Bus activation of com.ostrel.TarnSvc, -Service also a\n"
      "systemd user unit, enabled so the daemon starts at login; -UnregServer removes both.\n"
      "The registry files live in $TARN_CONFIG_DIR (else $XDG_CONFIG_HOME/tarn),\n"
      "the data folders below $XDG_DATA_HOME/Ostrel/TARN.\n",
      program);
}

OSTREL::Process::CTARNServiceModule module;

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    PrintUsage(argv[0]);
    return 0;
  }
  // Time texts of the API follow the user's locale; numbers in data files stay "C".
  std::setlocale(LC_TIME, "");
  // Before any thread exists, so that only the loop's signalfd sees the signals.
  OSTREL::Process::CMessageLoop::BlockTerminationSignals();
  return module.Main(argc, argv);
}
