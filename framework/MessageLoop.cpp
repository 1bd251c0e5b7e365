#include "framework/MessageLoop.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "framework/CriticalSection.h"
#include "framework/TickSource.h"

namespace OSTREL::Process {
namespace {

thread_local CMessageLoop* currentLoop = nullptr;

// Under a manual clock the wake-up is a short real-time poll: the clock moves when a test
// advances it, not with real time.
constexpr uint32_t kManualClockPollMs = 2;
// Shorter periods would spin the loop.
constexpr uint32_t kMinimumTimerPeriod = 10;

sigset_t TerminationSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  return signals;
}

// Signed distance on the wrapping 32-bit clock.
int32_t TicksUntil(uint32_t due, uint32_t now) { return static_cast<int32_t>(due - now); }

}  // namespace

CMessageLoop::CMessageLoop() : wake_(CEvent::Reset::kAuto) {
  timerFd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (currentLoop == nullptr) currentLoop = this;
}

CMessageLoop::~CMessageLoop() {
  if (currentLoop == this) currentLoop = nullptr;
  if (timerFd_ >= 0) ::close(timerFd_);
  if (signalFd_ >= 0) ::close(signalFd_);
}

CMessageLoop* CMessageLoop::Current() { return currentLoop; }

bool CMessageLoop::BlockTerminationSignals() {
  const sigset_t signals = TerminationSignals();
  return ::pthread_sigmask(SIG_BLOCK, &signals, nullptr) == 0;
}

bool CMessageLoop::QuitOnTerminationSignals() {
  if (signalFd_ >= 0) return true;
  const sigset_t signals = TerminationSignals();
  signalFd_ = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
  return signalFd_ >= 0;
}

uint32_t CMessageLoop::SetTimer(uint32_t timerId, uint32_t elapse, TimerProc proc) {
  if (!proc) return 0;
  elapse = std::max(elapse, kMinimumTimerPeriod);
  if (timerId == 0) {
    while (timers_.contains(nextTimerId_) || nextTimerId_ == 0) ++nextTimerId_;
    timerId = nextTimerId_++;
  }
  timers_[timerId] = Timer{elapse, CTickSource::Now() + elapse, std::move(proc)};
  return timerId;
}

bool CMessageLoop::KillTimer(uint32_t timerId) { return timers_.erase(timerId) > 0; }

void CMessageLoop::PostTask(Task task) {
  {
    CLock guard(queueLock_);
    tasks_.push_back(std::move(task));
  }
  wake_.Set();
}

void CMessageLoop::PostQuit(int exitCode) {
  {
    CLock guard(queueLock_);
    if (!quit_) exitCode_ = exitCode;
    quit_ = true;
  }
  wake_.Set();
}

int CMessageLoop::Run() {
  for (;;) {
    RunPostedTasks();
    RunDueTimers();
    {
      CLock guard(queueLock_);
      if (quit_) {
        quit_ = false;  // the loop may be run again
        return exitCode_;
      }
      if (!tasks_.empty()) continue;
    }
    Wait();
  }
}

uint32_t CMessageLoop::TicksToNextTimer() const {
  if (timers_.empty()) return kInfinite;
  const uint32_t now = CTickSource::Now();
  int32_t soonest = INT32_MAX;
  for (const auto& [id, timer] : timers_) soonest = std::min(soonest, TicksUntil(timer.due, now));
  return soonest <= 0 ? 0 : static_cast<uint32_t>(soonest);
}

void CMessageLoop::ArmWakeTimer() {
  if (timerFd_ < 0) return;
  uint32_t wait = TicksToNextTimer();
  if (wait != kInfinite && CTickSource::IsManual()) wait = kManualClockPollMs;
  itimerspec spec{};
  if (wait != kInfinite) {
    if (wait == 0) wait = 1;  // a zero value would disarm the timer
    spec.it_value.tv_sec = wait / 1000;
    spec.it_value.tv_nsec = static_cast<long>(wait % 1000) * 1000000;
  }
  ::timerfd_settime(timerFd_, 0, &spec, nullptr);
}

void CMessageLoop::Wait() {
  ArmWakeTimer();
  std::vector<pollfd> fds{{wake_.Fd(), POLLIN, 0}};
  if (timerFd_ >= 0) fds.push_back({timerFd_, POLLIN, 0});
  if (signalFd_ >= 0) fds.push_back({signalFd_, POLLIN, 0});
  if (::poll(fds.data(), fds.size(), -1) < 0) return;  // EINTR: go round again
  wake_.TryAcquire();
  if (timerFd_ >= 0) {
    uint64_t expirations;
    while (::read(timerFd_, &expirations, sizeof expirations) > 0) {
    }
  }
  DrainSignals();
}

void CMessageLoop::DrainSignals() {
  if (signalFd_ < 0) return;
  signalfd_siginfo info;
  while (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) PostQuit(0);
}

void CMessageLoop::RunDueTimers() {
  std::vector<uint32_t> due;
  const uint32_t now = CTickSource::Now();
  for (const auto& [id, timer] : timers_)
    if (TicksUntil(timer.due, now) <= 0) due.push_back(id);
  for (uint32_t id : due) {
    // A callback may kill or re-arm any timer, itself included.
    auto found = timers_.find(id);
    if (found == timers_.end()) continue;
    found->second.due = CTickSource::Now() + found->second.elapse;
    TimerProc proc = found->second.proc;
    proc(id);
  }
}

void CMessageLoop::RunPostedTasks() {
  std::deque<Task> tasks;
  {
    CLock guard(queueLock_);
    tasks.swap(tasks_);
  }
  for (auto& task : tasks) task();
}

}  // namespace OSTREL::Process
