#include "framework/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "framework/TickSource.h"

namespace OSTREL::Process {

CEvent::CEvent(Reset mode, bool signalled)
    : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), mode_(mode) {
  if (signalled) Set();
}

CEvent::~CEvent() {
  if (fd_ >= 0) close(fd_);
}

void CEvent::Set() {
  const uint64_t one = 1;
  // A full counter is still signalled, so a failed write loses nothing.
  [[maybe_unused]] ssize_t written = write(fd_, &one, sizeof one);
}

void CEvent::ResetEvent() {
  uint64_t value;
  [[maybe_unused]] ssize_t got = read(fd_, &value, sizeof value);
}

bool CEvent::IsSignalled() const {
  pollfd pfd{fd_, POLLIN, 0};
  return poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLIN);
}

bool CEvent::TryAcquire() {
  if (mode_ == Reset::kManual) return IsSignalled();
  // Reading the counter is the atomic test-and-reset: of two waiters, one wins.
  uint64_t value;
  return read(fd_, &value, sizeof value) == sizeof value;
}

int WaitForEvents(std::span<CEvent* const> events, uint32_t timeout) {
  std::vector<pollfd> fds;
  fds.reserve(events.size());
  for (CEvent* event : events) fds.push_back({event->Fd(), POLLIN, 0});
  const uint32_t start = CTickSource::Now();

  for (;;) {
    for (size_t i = 0; i < events.size(); ++i)
      if (events[i]->TryAcquire()) return static_cast<int>(i);

    int waitMs = -1;
    if (timeout != kInfinite) {
      const uint32_t passed = CTickSource::Now() - start;
      if (passed >= timeout) return kWaitTimeout;
      waitMs = static_cast<int>(timeout - passed);
    }
    // On a manual clock time moves without waking us: look at it again every few ms.
    if (CTickSource::IsManual() && (waitMs < 0 || waitMs > 2)) waitMs = timeout == kInfinite ? -1 : 2;
    if (poll(fds.data(), fds.size(), waitMs) < 0 && errno != EINTR) return kWaitFailed;
  }
}

int WaitForEvents(std::initializer_list<CEvent*> events, uint32_t timeout) {
  return WaitForEvents(std::span<CEvent* const>(events.begin(), events.size()), timeout);
}

bool WaitForEvent(CEvent& event, uint32_t timeout) {
  CEvent* one[] = {&event};
  return WaitForEvents(one, timeout) == 0;
}

}  // namespace OSTREL::Process
