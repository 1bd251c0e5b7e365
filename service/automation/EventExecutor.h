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
  bool Push(IEventExecutor::Task task);
  // Runs every task queued so far; returns how many ran.
  size_t Drain();
  size_t Dropped() const;
  bool Empty() const;

 private:
  mutable std::mutex lock_;
  std::deque<IEventExecutor::Task> tasks_;
  size_t capacity_;
  size_t dropped_ = 0;
};

// An executor with a thread of its own, for in-process use.
class CEventThread : public IEventExecutor {
 public:
  static constexpr size_t kCapacity = 65536;

  CEventThread();
  ~CEventThread() override;  // runs what is queued, then joins
  CEventThread(const CEventThread&) = delete;
  CEventThread& operator=(const CEventThread&) = delete;

  bool Post(Task task) override;
  // Waits until everything posted before the call has run.
  void Flush();

 private:
  void Loop();

  CEventQueue queue_{kCapacity};
  std::mutex wakeLock_;
  std::condition_variable wake_;
  size_t posted_ = 0;
  size_t done_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace OSTREL::COM
