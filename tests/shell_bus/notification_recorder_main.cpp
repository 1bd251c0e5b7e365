// test-notification-server: the tests' stand-in desktop on the session bus, as a program for
// the scripts. Records notifications (and, with --file-manager, the folders a file manager is
// asked to show) as JSON lines on standard output; prints "ready" once it owns its names; an
// action is picked with the method com.ostrel.TarnTest.Recorder.InvokeAction(u id, s action)
// on /org/freedesktop/Notifications. Runs until SIGTERM.
#include <signal.h>

#include <cstring>
#include <iostream>
#include <mutex>

#include "tests/shell_bus/NotificationRecorder.h"

int main(int argc, char** argv) {
  const bool fileManager = argc > 1 && std::strcmp(argv[1], "--file-manager") == 0;
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::mutex outputLock;
  tarn::test::CNotificationRecorder recorder(fileManager, [&](const std::string& line) {
    std::lock_guard guard(outputLock);
    std::cout << line << std::endl;
  });
  if (!recorder.Serving()) {
    std::cerr << "test-notification-server: the names are taken or there is no bus\n";
    return 1;
  }
  std::cout << "ready" << std::endl;
  int signal = 0;
  sigwait(&signals, &signal);
  return 0;
}
