// A Win32-style event on an eventfd: auto-reset (a successful wait consumes the signal) or
// manual-reset (stays signalled until Reset). WaitForEvents is WaitForMultipleObjects: the
// lowest signalled index wins, time-outs are measured on the engine's tick source. All
// operations are thread-safe.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

namespace OSTREL::Process {

class CEvent {
 public:
  enum class Reset { kAuto, kManual };

  explicit CEvent(Reset mode = Reset::kAuto, bool signalled = false);
  ~CEvent();
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  bool IsValid() const { return fd_ >= 0; }
  void Set();
  void ResetEvent();
  // Tests the event without waiting; an auto-reset event is consumed when signalled.
  bool TryAcquire();
  // True when signalled, consuming nothing.
  bool IsSignalled() const;
  int Fd() const { return fd_; }
  bool IsManualReset() const { return mode_ == Reset::kManual; }

 private:
  int fd_;
  Reset mode_;
};

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr int kWaitTimeout = -1;
inline constexpr int kWaitFailed = -2;

// Waits until one of `events` is signalled (returns its index) or `timeout` ticks pass
// (kWaitTimeout).
int WaitForEvents(std::span<CEvent* const> events, uint32_t timeout = kInfinite);
int WaitForEvents(std::initializer_list<CEvent*> events, uint32_t timeout = kInfinite);

// Waits for one event; true when it was signalled.
bool WaitForEvent(CEvent& event, uint32_t timeout = kInfinite);

}  // namespace OSTREL::Process
