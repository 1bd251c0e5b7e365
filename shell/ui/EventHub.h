// The change counters the page follows: one per list and per piece of state it shows. The
// daemon's listeners count every change here, at any rate; each open page's event stream
// wakes on a change, sends the counters, and then rests a little, so a page gets at most a
// few updates a second however fast the changes come. Thread-safe.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string_view>

#include "framework/CriticalSection.h"

namespace tarn::shell::ui {

enum class EChannel { kDownloads, kShared, kResults, kStatus, kSearch, kDaemon, kPrompts };
inline constexpr size_t kChannelCount = 7;
using Versions = std::array<uint64_t, kChannelCount>;

// The name the page knows the channel by.
std::string_view ChannelName(EChannel channel);

class CEventHub {
 public:
  void Touch(EChannel channel);
  Versions Current() const;

  // Waits until the counters differ from `seen`, the hub closes or `timeout` passes; true
  // when they differ.
  bool WaitForChange(const Versions& seen, std::chrono::milliseconds timeout) const;
  // Waits for `pause` unless the hub closes first; false once closed.
  bool Rest(std::chrono::milliseconds pause) const;

  // Wakes every waiter for good (the server is stopping).
  void Close();
  bool Closed() const;

 private:
  // Waits until `done` holds or `deadline` passes; true when `done` holds.
  template <typename Done>
  bool WaitUntil(std::chrono::steady_clock::time_point deadline, Done done) const
      REQUIRES(lock_);

  mutable OSTREL::Process::CMutex lock_;
  mutable OSTREL::Process::CConditionVariable changed_;
  Versions versions_ GUARDED_BY(lock_){};
  bool closed_ GUARDED_BY(lock_) = false;
};

}  // namespace tarn::shell::ui
