// A 32-bit field that one thread writes while others read it without a lock (the client id
// the server session learns, read by every other engine thread). Each read, write and copy is
// a relaxed atomic access, so a record holding one is still copied as a plain value.
#pragma once

#include <atomic>
#include <cstdint>

namespace P2P {

class CSharedWord {
 public:
  constexpr CSharedWord(uint32_t value = 0) : value_(value) {}  // NOLINT: a drop-in for uint32_t
  CSharedWord(const CSharedWord& other) : value_(other.Load()) {}
  CSharedWord& operator=(const CSharedWord& other) {
    Store(other.Load());
    return *this;
  }
  CSharedWord& operator=(uint32_t value) {
    Store(value);
    return *this;
  }
  operator uint32_t() const { return Load(); }  // NOLINT: reads like the plain field it replaces

  uint32_t Load() const { return value_.load(std::memory_order_relaxed); }
  void Store(uint32_t value) { value_.store(value, std::memory_order_relaxed); }

 private:
  std::atomic<uint32_t> value_;
};

}  // namespace P2P
