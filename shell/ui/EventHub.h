// The change counters the page follows: one per list and per piece of state it shows. The
// daemon's listeners count every change here, at any rate; each open page's event stream
// wakes on a change, sends the counters, and then rests a little, so a page gets at most a
// few updates a second however fast the changes come. Thread-safe.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>

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
  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  Versions versions_{};
  bool closed_ = false;
};

}  // namespace tarn::shell::ui
