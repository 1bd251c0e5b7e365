// How long to wait before the next attempt to reach a server. A session that was up and is
// lost is retried after a second; attempts that fail in a row wait twice as long each time,
// up to five minutes, so a dead server costs a connect now and then instead of one a second
// for ever. Any thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace P2P {

class CReconnectBackoff {
 public:
  static constexpr uint32_t kFirstDelay = 1000;
  static constexpr uint32_t kMaxDelay = 300000;

  // An attempt failed (or a session ended before login): the pause before the next one.
  uint32_t NoteFailure();
  // A session that was logged in ended: the next attempt follows after the first pause.
  uint32_t NoteLoss();
  // Logged in: the failures are forgotten. Returns how many there were.
  uint32_t NoteSuccess();
  uint32_t Failures() const { return failures_.load(); }

  static uint32_t DelayAfter(uint32_t failures);

 private:
  std::atomic<uint32_t> failures_{0};
};

}  // namespace P2P
