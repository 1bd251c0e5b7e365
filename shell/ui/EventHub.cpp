#include "shell/ui/EventHub.h"

namespace tarn::shell::ui {

std::string_view ChannelName(EChannel channel) {
  static constexpr std::string_view kNames[kChannelCount] = {
      "downloads", "shared", "results", "status", "search", "daemon", "prompts"};
  return kNames[static_cast<size_t>(channel)];
}

void CEventHub::Touch(EChannel channel) {
  {
    std::lock_guard guard(lock_);
    ++versions_[static_cast<size_t>(channel)];
  }
  changed_.notify_all();
}

Versions CEventHub::Current() const {
  std::lock_guard guard(lock_);
  return versions_;
}

bool CEventHub::WaitForChange(const Versions& seen, std::chrono::milliseconds timeout) const {
  std::unique_lock guard(lock_);
  changed_.wait_for(guard, timeout, [&] { return closed_ || versions_ != seen; });
  return !closed_ && versions_ != seen;
}

bool CEventHub::Rest(std::chrono::milliseconds pause) const {
  std::unique_lock guard(lock_);
  changed_.wait_for(guard, pause, [&] { return closed_; });
  return !closed_;
}

void CEventHub::Close() {
  {
    std::lock_guard guard(lock_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool CEventHub::Closed() const {
  std::lock_guard guard(lock_);
  return closed_;
}

}  // namespace tarn::shell::ui
