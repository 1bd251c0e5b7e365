// The base of every engine thread. Start runs Run() on a new thread; Stop sets the stop flag
// (derived classes that block in a wait signal their own stop event first) and joins.
// A derived class must call Stop() in its own destructor: by the time this base's destructor
// runs, Run() of the derived class can no longer be called safely.
#pragma once

#include <atomic>
#include <thread>

#include "framework/CriticalSection.h"

namespace OSTREL::Process {

class CThreadBase {
 public:
  CThreadBase() = default;
  virtual ~CThreadBase();
  CThreadBase(const CThreadBase&) = delete;
  CThreadBase& operator=(const CThreadBase&) = delete;

  virtual bool Start();
  virtual bool Stop();
  virtual unsigned Run() { return 0; }

  bool IsRunning() const { return running_.load(std::memory_order_acquire); }
  bool IsStopping() const { return stop_.load(std::memory_order_acquire); }
  bool IsCurrentThread() const {
    return runningId_.load(std::memory_order_acquire) == std::this_thread::get_id();
  }
  unsigned GetExitCode() const { return exitCode_; }

 protected:
  void RequestStop() { stop_.store(true, std::memory_order_release); }

  CCriticalSection lock_;

 private:
  void Join();

  std::thread thread_;
  // Set by the thread itself as it begins: the handle `thread_` is still being assigned by the
  // starter then, so the new thread cannot read its own id from it.
  std::atomic<std::thread::id> runningId_{};
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  unsigned exitCode_ = 0;
};

// The spec'd template name; T is the derived class (kept for symmetry with the other
// framework templates).
template <typename T>
class CThreadImpl : public CThreadBase {};

}  // namespace OSTREL::Process
