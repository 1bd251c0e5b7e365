#include "engine/hashing/HashLane.h"

namespace P2P::HASH {

using OSTREL::Process::CLock;

CHashLane::CHashLane(bool threaded) {
  if (threaded) thread_ = std::thread([this] { Run(); });
}

CHashLane::~CHashLane() {
  if (!thread_.joinable()) return;
  WaitUntilPending(0);
  {
    CLock guard(lock_);
    stopping_ = true;
  }
  changed_.NotifyAll();
  thread_.join();
}

void CHashLane::Submit(std::function<void()> job) {
  if (!thread_.joinable()) {
    job();
    return;
  }
  {
    CLock guard(lock_);
    jobs_.push_back(std::move(job));
    ++submitted_;
  }
  changed_.NotifyAll();
}

void CHashLane::WaitUntilPending(uint64_t pending) {
  CLock guard(lock_);
  while (submitted_ - finished_ > pending) changed_.Wait(lock_);
}

void CHashLane::Run() {
  lock_.lock();
  for (;;) {
    while (!stopping_ && jobs_.empty()) changed_.Wait(lock_);
    if (jobs_.empty()) break;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock_.unlock();
    job();
    lock_.lock();
    ++finished_;
    changed_.NotifyAll();
  }
  lock_.unlock();
}

}  // namespace P2P::HASH
