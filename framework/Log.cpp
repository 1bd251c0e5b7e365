#include "framework/Log.h"

#include <systemd/sd-journal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "framework/CriticalSection.h"

namespace OSTREL {
namespace {

Process::CMutex writeLock;
std::atomic<bool> debugEnabled{std::getenv("TARN_DEBUG") != nullptr};
std::atomic<bool> journal{false};
CLog::Sink sink GUARDED_BY(writeLock);

int JournalPriority(LogLevel level) {
  switch (level) {
    case LogLevel::kDebug: return LOG_DEBUG;
    case LogLevel::kInfo: return LOG_INFO;
    case LogLevel::kWarning: return LOG_WARNING;
    case LogLevel::kError: return LOG_ERR;
  }
  return LOG_INFO;
}

const char* Prefix(LogLevel level) {
  switch (level) {
    case LogLevel::kDebug: return "debug: ";
    case LogLevel::kInfo: return "";
    case LogLevel::kWarning: return "warning: ";
    case LogLevel::kError: return "error: ";
  }
  return "";
}

}  // namespace

void CLog::Write(LogLevel level, std::string_view text) {
  {
    Process::CLock guard(writeLock);
    if (sink) {
      sink(level, text);
      return;
    }
  }
  if (journal.load()) {
    sd_journal_print(JournalPriority(level), "%.*s", static_cast<int>(text.size()), text.data());
    return;
  }
  Process::CLock guard(writeLock);
  std::fprintf(stdout, "%s%.*s\n", Prefix(level), static_cast<int>(text.size()), text.data());
  std::fflush(stdout);
}

void CLog::EnableDebug(bool enabled) { debugEnabled.store(enabled); }
bool CLog::IsDebugEnabled() { return debugEnabled.load(); }
void CLog::UseJournal(bool enabled) { journal.store(enabled); }

CLog::Sink CLog::SetSink(Sink replacement) {
  Process::CLock guard(writeLock);
  std::swap(sink, replacement);
  return replacement;
}

}  // namespace OSTREL
