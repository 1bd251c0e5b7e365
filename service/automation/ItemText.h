// The texts item objects answer with: file times in the process locale's short date and its
// time without seconds, and the hash as 32 upper-case hexadecimal digits. Any thread.
#pragma once

#include <cstdint>
#include <string>

namespace OSTREL::COM {

// A FILETIME (100-ns ticks since 1601) as local "date time"; empty for 0.
std::string FileTimeText(int64_t fileTime);

}  // namespace OSTREL::COM
