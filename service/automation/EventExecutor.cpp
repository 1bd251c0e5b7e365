#include "service/automation/EventExecutor.h"

namespace OSTREL::COM {

bool CEventQueue::Push(IEventExecutor::Task task) {
  std::lock_guard guard(lock_);
  if (tasks_.size() >= capacity_) {
    ++dropped_;
    return false;
  }
  tasks_.push_back(std::move(task));
  return true;
}

size_t CEventQueue::Drain() {
  std::deque<IEventExecutor::Task> batch;
  {
    std::lock_guard guard(lock_);
    batch.swap(tasks_);
  }
  for (auto& task : batch) task();
  return batch.size();
}

size_t CEventQueue::Dropped() const {
  std::lock_guard guard(lock_);
  return dropped_;
}

bool CEventQueue::Empty() const {
  std::lock_guard guard(lock_);
  return tasks_.empty();
}

CEventThread::CEventThread() : thread_([this] { Loop(); }) {}

CEventThread::~CEventThread() {
  {
    std::lock_guard guard(wakeLock_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  queue_.Drain();
}

bool CEventThread::Post(Task task) {
  std::lock_guard guard(wakeLock_);
  if (!queue_.Push(std::move(task))) return false;
  ++posted_;
  wake_.notify_all();
  return true;
}

void CEventThread::Flush() {
  std::unique_lock guard(wakeLock_);
  const size_t target = posted_;
  wake_.wait(guard, [&] { return done_ >= target; });
}

void CEventThread::Loop() {
  std::unique_lock guard(wakeLock_);
  while (true) {
    wake_.wait(guard, [&] { return stop_ || done_ < posted_; });
    if (stop_) return;
    const size_t target = posted_;
    guard.unlock();
    queue_.Drain();
    guard.lock();
    done_ = target;
    wake_.notify_all();
  }
}

}  // namespace OSTREL::COM
