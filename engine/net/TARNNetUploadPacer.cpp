#include "engine/net/TARNNetUploadPacer.h"

#include "framework/CriticalSection.h"
#include "framework/TickSource.h"

namespace P2P {

using OSTREL::Process::CTickSource;

void CTARNNetUploadPacer::SetResume(Resume resume) {
  OSTREL::Process::CLock guard(dueLock_);
  resume_ = std::move(resume);
}

void CTARNNetUploadPacer::ResumeAfter(uint32_t milliseconds) {
  const uint32_t due = CTickSource::Now() + milliseconds;
  bool start = false;
  {
    OSTREL::Process::CLock guard(dueLock_);
    if (!resume_ || stopped_) return;
    // Wrapping ticks: `due` is earlier when the signed difference is negative.
    if (pending_ && static_cast<int32_t>(due - due_) >= 0) return;
    pending_ = true;
    due_ = due;
    start = !started_;
    started_ = true;
  }
  if (start) Start();
  wake_.Set();
}

bool CTARNNetUploadPacer::Stop() {
  {
    OSTREL::Process::CLock guard(dueLock_);
    resume_ = nullptr;
    stopped_ = true;
  }
  stop_.Set();
  return CThreadImpl::Stop();
}

unsigned CTARNNetUploadPacer::Run() {
  while (!IsStopping()) {
    uint32_t timeout = OSTREL::Process::kInfinite;
    Resume resume;
    {
      OSTREL::Process::CLock guard(dueLock_);
      if (pending_) {
        const int32_t left = static_cast<int32_t>(due_ - CTickSource::Now());
        if (left <= 0) {
          pending_ = false;
          resume = resume_;
        } else {
          timeout = static_cast<uint32_t>(left);
        }
      }
    }
    if (resume) {
      resume();
      continue;
    }
    if (OSTREL::Process::WaitForEvents({&stop_, &wake_}, timeout) == 0) break;
  }
  return 0;
}

}  // namespace P2P
