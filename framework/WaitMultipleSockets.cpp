#include "framework/WaitMultipleSockets.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "framework/EventSocket.h"

namespace OSTREL::Network::Socket {
namespace {

// Socket keys start above these.
constexpr uint64_t kStopKey = 0;
constexpr uint64_t kChangedKey = 1;

bool AddEventFd(int epoll, int fd, uint64_t key) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = key;
  return epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0;
}

}  // namespace

CWaitMultipleSockets::CWaitMultipleSockets(IWaitMultipleSocketsOwner& owner) : owner_(owner) {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ >= 0) {
    AddEventFd(epoll_, stopEvent_.Fd(), kStopKey);
    AddEventFd(epoll_, changedEvent_.Fd(), kChangedKey);
  }
}

CWaitMultipleSockets::~CWaitMultipleSockets() {
  Stop();
  if (epoll_ >= 0) close(epoll_);
}

bool CWaitMultipleSockets::Start() {
  if (epoll_ < 0) return false;
  stopEvent_.ResetEvent();
  return CThreadBase::Start();
}

bool CWaitMultipleSockets::Stop() {
  stopEvent_.Set();
  return CThreadBase::Stop();
}

void CWaitMultipleSockets::RequestEnd() {
  RequestStop();
  stopEvent_.Set();
}

bool CWaitMultipleSockets::Add(uint64_t key, CEventSocketBase& socket) {
  Process::CLock guard(slotsLock_);
  if (CThreadBase::IsStopping() || stopEvent_.IsSignalled() || IsFull()) return false;
  if (!socket.AttachWaiter(epoll_, key)) return false;
  const size_t count = count_.load(std::memory_order_acquire);
  keys_[count] = key;
  count_.store(count + 1, std::memory_order_release);
  changedEvent_.Set();
  return true;
}

bool CWaitMultipleSockets::Remove(uint64_t key, CEventSocketBase& socket) {
  Process::CLock guard(slotsLock_);
  const size_t count = count_.load(std::memory_order_acquire);
  const auto begin = keys_.begin() + kReserved;
  const auto end = keys_.begin() + static_cast<std::ptrdiff_t>(count);
  const auto found = std::find(begin, end, key);
  if (found == end) return false;
  std::move(found + 1, end, found);  // close the gap, keeping the order
  count_.store(count - 1, std::memory_order_release);
  socket.DetachWaiter();
  changedEvent_.Set();
  return true;
}

bool CWaitMultipleSockets::Holds(uint64_t key) const {
  Process::CLock guard(slotsLock_);
  const auto end = keys_.begin() + static_cast<std::ptrdiff_t>(count_.load());
  return std::find(keys_.begin() + kReserved, end, key) != end;
}

unsigned CWaitMultipleSockets::Run() {
  epoll_event ready[kSlots];
  while (!CThreadBase::IsStopping() && !owner_.IsStopping()) {
    const int count = epoll_wait(epoll_, ready, static_cast<int>(kSlots), -1);
    if (count < 0) {
      if (errno == EINTR) continue;
      return 1;  // a failed wait ends the thread
    }
    for (int i = 0; i < count; ++i) {
      if (CThreadBase::IsStopping() || owner_.IsStopping() || stopEvent_.IsSignalled()) return 0;
      const uint64_t key = ready[i].data.u64;
      if (key == kChangedKey) {
        changedEvent_.TryAcquire();
        continue;
      }
      if (key != kStopKey) owner_.OnSocketReady(key, ready[i].events);
    }
  }
  return 0;
}

}  // namespace OSTREL::Network::Socket
