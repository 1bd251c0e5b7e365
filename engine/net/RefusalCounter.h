// What a session keeps of the packets its readers refused: how many, and the last refusal.
// Each one is logged at debug level, naming the session and the opcode. Thread-safe: the
// socket thread notes, any thread reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "engine/protocol/Refusal.h"
#include "framework/CriticalSection.h"

namespace P2P {

class CRefusalCounter {
 public:
  // `session` names the session in the log ("server TCP", "peer UDP"); a literal.
  explicit CRefusalCounter(std::string_view session) : session_(session) {}

  void Note(uint8_t opcode, const Protocol::SRefusal& refusal);
  uint32_t Count() const { return count_.load(); }
  Protocol::SRefusal Last() const;

 private:
  std::string_view session_;
  std::atomic<uint32_t> count_{0};
  mutable OSTREL::Process::CMutex lock_;
  Protocol::SRefusal last_ GUARDED_BY(lock_);
};

}  // namespace P2P
