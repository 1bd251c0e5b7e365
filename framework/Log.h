// The daemon's log: lines to the journal when running as a service, to stdout otherwise.
// Debug lines (the search parser's messages, protocol traces) appear only when enabled.
// Thread-safe.
#pragma once

#include <sstream>
#include <string>
#include <string_view>

namespace OSTREL {

enum class LogLevel { kDebug, kInfo, kWarning, kError };

class CLog {
 public:
  static void Write(LogLevel level, std::string_view text);
  static void EnableDebug(bool enabled);
  static bool IsDebugEnabled();
  static void UseJournal(bool enabled);
};

template <typename... Args>
void Log(LogLevel level, const Args&... args) {
  if (level == LogLevel::kDebug && !CLog::IsDebugEnabled()) return;
  std::ostringstream line;
  (line << ... << args);
  CLog::Write(level, line.str());
}

template <typename... Args>
void LogDebug(const Args&... args) { Log(LogLevel::kDebug, args...); }
template <typename... Args>
void LogInfo(const Args&... args) { Log(LogLevel::kInfo, args...); }
template <typename... Args>
void LogWarning(const Args&... args) { Log(LogLevel::kWarning, args...); }
template <typename... Args>
void LogError(const Args&... args) { Log(LogLevel::kError, args...); }

}  // namespace OSTREL
