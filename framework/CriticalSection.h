// The engine's locks, as types the thread-safety analysis knows: CCriticalSection is recursive
// like a Win32 critical section, so a thread that holds it may call back into code that takes
// it again; CMutex is a plain mutex. CLock holds either for a scope, CConditionVariable waits
// on a CMutex. Any thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "framework/ThreadAnnotations.h"

namespace OSTREL::Process {

class CAPABILITY("mutex") CCriticalSection {
 public:
  void lock() ACQUIRE() {
    mutex_.lock();
    TakeOwnership();
  }
  void unlock() RELEASE() {
    if (--depth_ == 0) owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }
  bool try_lock() TRY_ACQUIRE(true) {
    if (!mutex_.try_lock()) return false;
    TakeOwnership();
    return true;
  }
  // For code that works under a lock it reached through another path than its holder (the
  // analysis cannot tell two references to one object apart): stops the process when the
  // calling thread does not hold it, and tells the analysis it does from here on.
  void AssertHeld() const ASSERT_CAPABILITY(this);

 private:
  void TakeOwnership() {
    if (depth_++ == 0) owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }

  std::recursive_mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  unsigned depth_ = 0;  // touched by the owner only
};

class CAPABILITY("mutex") CMutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

 private:
  std::mutex mutex_;
};

// Holds `Mutex` from construction to the end of the scope.
template <typename Mutex>
class SCOPED_CAPABILITY CLock {
 public:
  explicit CLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~CLock() RELEASE() { mutex_.unlock(); }
  CLock(const CLock&) = delete;
  CLock& operator=(const CLock&) = delete;

 private:
  Mutex& mutex_;
};

class CConditionVariable {
 public:
  // Releases `mutex` while it waits; holds it again when it returns (possibly spuriously).
  void Wait(CMutex& mutex) REQUIRES(mutex) { condition_.wait(mutex); }
  template <typename Clock, typename Duration>
  void WaitUntil(CMutex& mutex, const std::chrono::time_point<Clock, Duration>& deadline)
      REQUIRES(mutex) {
    condition_.wait_until(mutex, deadline);
  }
  void NotifyOne() { condition_.notify_one(); }
  void NotifyAll() { condition_.notify_all(); }

 private:
  std::condition_variable_any condition_;
};

}  // namespace OSTREL::Process
