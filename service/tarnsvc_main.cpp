// tarnsvc: the TARN daemon. Runs the network engine on the main thread's message loop until
// SIGTERM or SIGINT, then stops the engine (which saves its state) and exits.
#include <cstdio>
#include <cstring>

#include "engine/core/TARNNetClientModule.h"
#include "framework/CriticalSection.h"
#include "framework/Log.h"
#include "framework/MessageLoop.h"

namespace {

void PrintUsage(const char* program) {
  std::printf(
      "Usage: %s [--help]\n"
      "Runs the TARN network engine in the foreground until SIGTERM or SIGINT.\n"
      "The registry files live in $TARN_CONFIG_DIR (else $XDG_CONFIG_HOME/tarn),\n"
      "the data folders below $XDG_DATA_HOME/Ostrel/TARN.\n",
      program);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintUsage(argv[0]);
      return 0;
    }
    std::fprintf(stderr, "%s: unknown option %s\n", argv[0], argv[i]);
    PrintUsage(argv[0]);
    return 2;
  }

  // Before any thread exists, so that only the loop's signalfd sees the signals.
  OSTREL::Process::CMessageLoop::BlockTerminationSignals();
  OSTREL::Process::CMessageLoop loop;
  if (!loop.QuitOnTerminationSignals()) {
    OSTREL::LogError("cannot watch for termination signals");
    return 1;
  }

  static OSTREL::Process::CCriticalSection processLock;
  P2P::CTARNNetClientModule* module = P2P::CTARNNetClientModule::GetInstance(&processLock);
  if (module == nullptr) {
    OSTREL::LogError("the engine failed to start");
    return 1;
  }
  OSTREL::LogInfo("tarnsvc started");

  loop.Run();

  module->Stop();
  OSTREL::LogInfo("tarnsvc stopped");
  return 0;
}
