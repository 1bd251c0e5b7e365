#include "shell/ui/EventHub.h"

namespace tarn::shell::ui {

std::string_view ChannelName(EChannel channel) {
  static constexpr std::string_view kNames[kChannelCount] = {
      "downloads", "shared", "results", "status", "search", "daemon", "prompts"};
  return kNames[static_cast<size_t>(channel)];
}

template <typename Done>
bool CEventHub::WaitUntil(std::chrono::steady_clock::time_point deadline, Done done) const {
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    changed_.WaitUntil(lock_, deadline);
  }
  return true;
}

void CEventHub::Touch(EChannel channel) {
  {
    OSTREL::Process::CLock guard(lock_);
    ++versions_[static_cast<size_t>(channel)];
  }
  changed_.NotifyAll();
}

Versions CEventHub::Current() const {
  OSTREL::Process::CLock guard(lock_);
  return versions_;
}

bool CEventHub::WaitForChange(const Versions& seen, std::chrono::milliseconds timeout) const {
  OSTREL::Process::CLock guard(lock_);
  WaitUntil(std::chrono::steady_clock::now() + timeout,
            [&]() REQUIRES(lock_) { return closed_ || versions_ != seen; });
  return !closed_ && versions_ != seen;
}

bool CEventHub::Rest(std::chrono::milliseconds pause) const {
  OSTREL::Process::CLock guard(lock_);
  return !WaitUntil(std::chrono::steady_clock::now() + pause, [&]() REQUIRES(lock_) { return closed_; });
}

void CEventHub::Close() {
  {
    OSTREL::Process::CLock guard(lock_);
    closed_ = true;
  }
  changed_.NotifyAll();
}

bool CEventHub::Closed() const {
  OSTREL::Process::CLock guard(lock_);
  return closed_;
}

}  // namespace tarn::shell::ui
