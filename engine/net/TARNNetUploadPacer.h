// Wakes the sessions that stopped sending for want of upload allowance as soon as the rate
// limiter holds some again, instead of at the next one-second pass: with a bucket of a quarter
// second, waiting for the pass would cap a limited upload near a quarter of its rate. A thread
// of its own, started on the first request; ResumeAfter keeps the earliest due time. Time on
// the engine's tick source. Any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "framework/CriticalSection.h"
#include "framework/Event.h"
#include "framework/Thread.h"

namespace P2P {

class CTARNNetUploadPacer : public OSTREL::Process::CThreadImpl<CTARNNetUploadPacer> {
 public:
  using Resume = std::function<void()>;

  CTARNNetUploadPacer() = default;
  ~CTARNNetUploadPacer() override { Stop(); }

  // What runs when a wait is over; set before the first ResumeAfter, null to stop calling.
  void SetResume(Resume resume);
  // Calls the resume hook once, `milliseconds` from now (or at an earlier time already due).
  // Nothing after Stop.
  void ResumeAfter(uint32_t milliseconds);
  bool Stop() override;
  unsigned Run() override;

 private:
  OSTREL::Process::CMutex dueLock_;
  Resume resume_ GUARDED_BY(dueLock_);
  bool pending_ GUARDED_BY(dueLock_) = false;
  bool started_ GUARDED_BY(dueLock_) = false;
  bool stopped_ GUARDED_BY(dueLock_) = false;
  uint32_t due_ GUARDED_BY(dueLock_) = 0;
  OSTREL::Process::CEvent wake_{OSTREL::Process::CEvent::Reset::kAuto};
  OSTREL::Process::CEvent stop_{OSTREL::Process::CEvent::Reset::kManual};
};

}  // namespace P2P
