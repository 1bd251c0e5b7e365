// The engine's lock: recursive like a Win32 critical section, so a thread that holds it may
// call back into code that takes it again.
#pragma once

#include <mutex>

namespace OSTREL::Process {

using CCriticalSection = std::recursive_mutex;
using CLock = std::lock_guard<std::recursive_mutex>;

}  // namespace OSTREL::Process
