#include "engine/hashing/HashLane.h"

namespace P2P::HASH {

CHashLane::CHashLane(bool threaded) {
  if (threaded) thread_ = std::thread([this] { Run(); });
}

CHashLane::~CHashLane() {
  if (!thread_.joinable()) return;
  WaitUntilPending(0);
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void CHashLane::Submit(std::function<void()> job) {
  if (!thread_.joinable()) {
    job();
    return;
  }
  {
    std::lock_guard guard(lock_);
    jobs_.push_back(std::move(job));
    ++submitted_;
  }
  changed_.notify_all();
}

void CHashLane::WaitUntilPending(uint64_t pending) {
  std::unique_lock guard(lock_);
  changed_.wait(guard, [&] { return submitted_ - finished_ <= pending; });
}

void CHashLane::Run() {
  std::unique_lock guard(lock_);
  for (;;) {
    changed_.wait(guard, [&] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    guard.unlock();
    job();
    guard.lock();
    ++finished_;
    changed_.notify_all();
  }
}

}  // namespace P2P::HASH
