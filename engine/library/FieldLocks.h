// The locks that guard the small fields of file objects: a fixed table of mutexes, each file
// taking the one its address picks, so that 100,000 files do not carry a mutex each. Only for
// short sections that take no other lock while they hold one. Any thread.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "framework/CriticalSection.h"

namespace P2P::Shared::File {

inline OSTREL::Process::CMutex& FieldLockFor(const void* object) {
  static std::array<OSTREL::Process::CMutex, 64> locks;
  // Objects are at least 16-byte aligned: the low bits tell nothing.
  const auto address = reinterpret_cast<uintptr_t>(object);
  return locks[(address >> 4 ^ address >> 10) % locks.size()];
}

}  // namespace P2P::Shared::File
