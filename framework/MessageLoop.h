// The daemon main thread's loop, standing in for a thread message queue: periodic timers
// (SetTimer/KillTimer), tasks posted from any thread, a quit request, and SIGTERM/SIGINT
// turned into a quit. Timer due times are read from the engine's tick source, so a manual
// clock in tests fires them when it is advanced. PostTask and PostQuit may be called from
// any thread; everything else belongs to the thread that runs the loop.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "framework/CriticalSection.h"
#include "framework/Event.h"

namespace OSTREL::Process {

class CMessageLoop {
 public:
  using TimerProc = std::function<void(uint32_t timerId)>;
  using Task = std::function<void()>;

  CMessageLoop();
  ~CMessageLoop();
  CMessageLoop(const CMessageLoop&) = delete;
  CMessageLoop& operator=(const CMessageLoop&) = delete;

  // The loop created on the calling thread, or null.
  static CMessageLoop* Current();

  // Blocks SIGTERM and SIGINT for the calling thread and every thread it starts later: call
  // it first thing in main, so the signals reach only the loop's signalfd.
  static bool BlockTerminationSignals();
  // From now on SIGTERM and SIGINT (blocked beforehand) make Run return.
  bool QuitOnTerminationSignals();

  // Calls `proc` every `elapse` ticks (at least 10), first after `elapse`; a late loop fires
  // once, not once per missed period. Id 0 picks a new id; an existing id is re-armed.
  // Returns the id (0 on failure).
  uint32_t SetTimer(uint32_t timerId, uint32_t elapse, TimerProc proc);
  bool KillTimer(uint32_t timerId);

  void PostTask(Task task);
  void PostQuit(int exitCode = 0);

  // Runs until PostQuit or a termination signal; returns the exit code.
  int Run();

 private:
  struct Timer {
    uint32_t elapse;
    uint32_t due;
    TimerProc proc;
  };

  // Ticks until the soonest timer is due (0 when one is due), kInfinite without timers.
  uint32_t TicksToNextTimer() const;
  void ArmWakeTimer();
  void Wait();
  void RunDueTimers();
  void RunPostedTasks();
  void DrainSignals();

  std::map<uint32_t, Timer> timers_;
  uint32_t nextTimerId_ = 1;

  CMutex queueLock_;
  std::deque<Task> tasks_ GUARDED_BY(queueLock_);
  bool quit_ = false;
  int exitCode_ = 0;

  CEvent wake_;
  int timerFd_ = -1;
  int signalFd_ = -1;
};

}  // namespace OSTREL::Process
