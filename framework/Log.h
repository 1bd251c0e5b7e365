// The daemon's log: lines to the journal when running as a service, to stdout otherwise.
// Debug lines (the search parser's messages, protocol traces) appear only when enabled. A
// replaceable sink takes the lines instead (tests capture the log with it). Texts taken from
// servers and peers go through EscapeForLog (framework/LogText.h) first. Thread-safe.
#pragma once

#include <functional>
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

  // Every line goes to `sink` instead of the journal or stdout until another sink, or an empty
  // one (back to the default), is set; returns the sink it replaces. The sink is called under
  // the log's lock, one line at a time, and must not log itself.
  using Sink = std::function<void(LogLevel level, std::string_view text)>;
  static Sink SetSink(Sink sink);
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
