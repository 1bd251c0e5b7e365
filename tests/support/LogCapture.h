// Captures the log while it lives: every line goes to the capture instead of stdout, debug
// lines included; the previous sink and debug setting come back on destruction. One capture
// at a time per process. Thread-safe.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/Log.h"

namespace tarn::test {

struct LogLine {
  OSTREL::LogLevel level;
  std::string text;
};

class LogCapture {
 public:
  LogCapture() : debugWas_(OSTREL::CLog::IsDebugEnabled()) {
    OSTREL::CLog::EnableDebug(true);
    previous_ = OSTREL::CLog::SetSink([this](OSTREL::LogLevel level, std::string_view text) {
      std::lock_guard guard(lock_);
      lines_.push_back({level, std::string(text)});
    });
  }
  ~LogCapture() {
    OSTREL::CLog::SetSink(std::move(previous_));
    OSTREL::CLog::EnableDebug(debugWas_);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<LogLine> Lines() const {
    std::lock_guard guard(lock_);
    return lines_;
  }
  // The captured lines holding `part`.
  std::vector<std::string> LinesWith(std::string_view part) const {
    std::vector<std::string> found;
    for (const LogLine& line : Lines())
      if (line.text.find(part) != std::string::npos) found.push_back(line.text);
    return found;
  }

 private:
  mutable std::mutex lock_;
  std::vector<LogLine> lines_;
  OSTREL::CLog::Sink previous_;
  bool debugWas_;
};

}  // namespace tarn::test
