#include "framework/WaitMultipleSockets.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

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

constexpr size_t kReserved = 2;  // the stop event and the set-changed event
// Ready sockets taken from the kernel per wait; more wait for the next round.
constexpr int kReadyBatch = 256;
// Where the kernel does not tell its limit.
constexpr size_t kFallbackCapacity = 65536;

}  // namespace

size_t CWaitMultipleSockets::SystemCapacity() {
  static const size_t capacity = [] {
    size_t watches = 0;
    std::ifstream("/proc/sys/fs/epoll/max_user_watches") >> watches;
    return watches > kReserved ? watches - kReserved : kFallbackCapacity;
  }();
  return capacity;
}

CWaitMultipleSockets::CWaitMultipleSockets(IWaitMultipleSocketsOwner& owner, size_t capacity)
    : owner_(owner), capacity_(capacity) {
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
  ending_.store(false, std::memory_order_release);
  return CThreadBase::Start();
}

bool CWaitMultipleSockets::Stop() {
  ending_.store(true, std::memory_order_release);
  stopEvent_.Set();
  return CThreadBase::Stop();
}

void CWaitMultipleSockets::RequestEnd() {
  RequestStop();
  ending_.store(true, std::memory_order_release);
  stopEvent_.Set();
}

bool CWaitMultipleSockets::Add(uint64_t key, CEventSocketBase& socket) {
  Process::CLock guard(slotsLock_);
  if (CThreadBase::IsStopping() || IsEnding() || IsFull()) return false;
  if (!socket.AttachWaiter(epoll_, key)) return false;
  keys_.insert(key);
  count_.store(keys_.size(), std::memory_order_release);
  changedEvent_.Set();
  return true;
}

bool CWaitMultipleSockets::Remove(uint64_t key, CEventSocketBase& socket) {
  Process::CLock guard(slotsLock_);
  if (keys_.erase(key) == 0) return false;
  count_.store(keys_.size(), std::memory_order_release);
  socket.DetachWaiter();
  changedEvent_.Set();
  return true;
}

bool CWaitMultipleSockets::Holds(uint64_t key) const {
  Process::CLock guard(slotsLock_);
  return keys_.contains(key);
}

unsigned CWaitMultipleSockets::Run() {
  epoll_event ready[kReadyBatch];
  while (!CThreadBase::IsStopping() && !owner_.IsStopping()) {
    const int count = epoll_wait(epoll_, ready, kReadyBatch, -1);
    if (count < 0) {
      if (errno == EINTR) continue;
      return 1;  // a failed wait ends the thread
    }
    for (int i = 0; i < count; ++i) {
      if (CThreadBase::IsStopping() || owner_.IsStopping() || IsEnding()) return 0;
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
