#include "service/automation/EventExecutor.h"

namespace OSTREL::COM {

using Process::CLock;

bool CEventQueue::Push(IEventExecutor::Task task) {
  CLock guard(lock_);
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
    CLock guard(lock_);
    batch.swap(tasks_);
  }
  for (auto& task : batch) task();
  return batch.size();
}

size_t CEventQueue::Dropped() const {
  CLock guard(lock_);
  return dropped_;
}

bool CEventQueue::Empty() const {
  CLock guard(lock_);
  return tasks_.empty();
}

CEventThread::CEventThread() : thread_([this] { Loop(); }) {}

CEventThread::~CEventThread() {
  {
    CLock guard(wakeLock_);
    stop_ = true;
  }
  wake_.NotifyAll();
  thread_.join();
  queue_.Drain();
}

bool CEventThread::Post(Task task) {
  CLock guard(wakeLock_);
  if (!queue_.Push(std::move(task))) return false;
  ++posted_;
  wake_.NotifyAll();
  return true;
}

void CEventThread::Flush() {
  CLock guard(wakeLock_);
  const size_t target = posted_;
  while (done_ < target) wake_.Wait(wakeLock_);
}

void CEventThread::Loop() {
  wakeLock_.lock();
  while (true) {
    while (!stop_ && done_ >= posted_) wake_.Wait(wakeLock_);
    if (stop_) break;
    const size_t target = posted_;
    wakeLock_.unlock();
    queue_.Drain();
    wakeLock_.lock();
    done_ = target;
    wake_.NotifyAll();
  }
  wakeLock_.unlock();
}

}  // namespace OSTREL::COM
