// A second lane for one hashing pass: jobs handed to it run in order on a thread of its own, so
// the SHA-1 of the AICH blocks runs beside the MD4 of the parts over the same chunks. An
// inline lane runs each job at once on the caller's thread (small files, where a thread costs
// more than it saves). Owned and fed by one thread; the destructor waits for every job.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <thread>

#include "framework/CriticalSection.h"

namespace P2P::HASH {

class CHashLane {
 public:
  explicit CHashLane(bool threaded);
  ~CHashLane();
  CHashLane(const CHashLane&) = delete;
  CHashLane& operator=(const CHashLane&) = delete;

  void Submit(std::function<void()> job) EXCLUDES(lock_);
  // Returns once at most `pending` submitted jobs have not finished.
  void WaitUntilPending(uint64_t pending) EXCLUDES(lock_);

 private:
  void Run() EXCLUDES(lock_);

  OSTREL::Process::CMutex lock_;
  OSTREL::Process::CConditionVariable changed_;
  std::deque<std::function<void()>> jobs_ GUARDED_BY(lock_);
  uint64_t submitted_ GUARDED_BY(lock_) = 0;
  uint64_t finished_ GUARDED_BY(lock_) = 0;
  bool stopping_ GUARDED_BY(lock_) = false;
  std::thread thread_;
};

}  // namespace P2P::HASH
