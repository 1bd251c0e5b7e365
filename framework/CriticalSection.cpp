#include "framework/CriticalSection.h"

#include <cstdio>
#include <cstdlib>

namespace OSTREL::Process {

void CCriticalSection::AssertHeld() const {
  if (owner_.load(std::memory_order_relaxed) == std::this_thread::get_id()) return;
  // A broken locking rule corrupts state silently later; stop where it shows.
  std::fputs("fatal: a critical section is used without being held\n", stderr);
  std::abort();
}

}  // namespace OSTREL::Process
