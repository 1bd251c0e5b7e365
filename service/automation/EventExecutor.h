// Where automation events are delivered: engine threads only post a small task here and go
// on, so a slow or vanished client never holds up a download. The queue is bounded; past the
// bound tasks are dropped (and counted), which costs the client an event, never the engine.
// Post may be called from any thread; the tasks run one after another on one thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "framework/CriticalSection.h"

namespace OSTREL::COM {

class IEventExecutor {
 public:
  using Task = std::function<void()>;
  virtual ~IEventExecutor() = default;
  // False when the task was dropped.
  virtual bool Post(Task task) = 0;
};

// A bounded task queue; the owner drains it on the thread it chooses.
class CEventQueue {
 public:
  explicit CEventQueue(size_t capacity) : capacity_(capacity) {}
  bool Push(IEventExecutor::Task task) EXCLUDES(lock_);
  // Runs every task queued so far; returns how many ran.
  size_t Drain() EXCLUDES(lock_);
  size_t Dropped() const EXCLUDES(lock_);
  bool Empty() const EXCLUDES(lock_);

 private:
  mutable OSTREL::Process::CMutex lock_;
  std::deque<IEventExecutor::Task> tasks_ GUARDED_BY(lock_);
  const size_t capacity_;
  size_t dropped_ GUARDED_BY(lock_) = 0;
};

// An executor with a thread of its own, for in-process use.
class CEventThread : public IEventExecutor {
 public:
  static constexpr size_t kCapacity = 65536;

  CEventThread();
  ~CEventThread() override;  // runs what is queued, then joins
  CEventThread(const CEventThread&) = delete;
  CEventThread& operator=(const CEventThread&) = delete;

  bool Post(Task task) override EXCLUDES(wakeLock_);
  // Waits until everything posted before the call has run.
  void Flush() EXCLUDES(wakeLock_);

 private:
  void Loop() EXCLUDES(wakeLock_);

  CEventQueue queue_{kCapacity};
  OSTREL::Process::CMutex wakeLock_;
  OSTREL::Process::CConditionVariable wake_;
  size_t posted_ GUARDED_BY(wakeLock_) = 0;
  size_t done_ GUARDED_BY(wakeLock_) = 0;
  bool stop_ GUARDED_BY(wakeLock_) = false;
  std::thread thread_;
};

}  // namespace OSTREL::COM
