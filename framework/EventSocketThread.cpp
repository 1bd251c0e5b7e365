#include "framework/EventSocketThread.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>

#include "framework/EventSocket.h"
#include "framework/NetworkEvents.h"
#include "framework/SocketError.h"
#include "framework/TickSource.h"

namespace OSTREL::Network::Socket {
namespace {

constexpr uint64_t kStopKey = 0;
constexpr uint64_t kSocketKey = 1;

}  // namespace

CEventSocketThread::CEventSocketThread(CEventSocketBase& socket, uint32_t idleTimeout)
    : socket_(socket), idleTimeout_(idleTimeout) {}

CEventSocketThread::~CEventSocketThread() {
  Stop();
  if (epoll_ >= 0) close(epoll_);
}

bool CEventSocketThread::Start() {
  if (epoll_ < 0) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0) return false;
    epoll_event stop{};
    stop.events = EPOLLIN;
    stop.data.u64 = kStopKey;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, stopEvent_.Fd(), &stop) != 0) return false;
  }
  Stop();  // joins a thread that ended on its own
  stopEvent_.ResetEvent();
  socket_.AttachWaiter(epoll_, kSocketKey);
  return CThreadBase::Start();
}

bool CEventSocketThread::Stop() {
  stopEvent_.Set();
  return CThreadBase::Stop();
}

int CEventSocketThread::WaitMilliseconds(uint32_t lastActivity) const {
  if (idleTimeout_ == kNoTimeout) return -1;
  const uint32_t passed = Process::CTickSource::Now() - lastActivity;
  if (passed >= idleTimeout_) return 0;
  const uint32_t left = idleTimeout_ - passed;
  // A manual clock moves without waking us: look at it again every few milliseconds.
  if (Process::CTickSource::IsManual() && left > 2) return 2;
  return static_cast<int>(left);
}

unsigned CEventSocketThread::Run() {
  uint32_t lastActivity = Process::CTickSource::Now();
  epoll_event ready[4];
  while (!IsStopping()) {
    const int waitMs = WaitMilliseconds(lastActivity);
    if (waitMs == 0) {
      socket_.OnIdleTimeout();
      return kWsaETimedOut;
    }
    const int count = epoll_wait(epoll_, ready, 4, waitMs);
    if (count < 0) {
      if (errno == EINTR) continue;
      return static_cast<unsigned>(CSocketError::FromErrno(errno));
    }
    for (int i = 0; i < count; ++i)
      if (ready[i].data.u64 == kStopKey) return 0;
    for (int i = 0; i < count; ++i) {
      if (IsStopping()) return 0;
      lastActivity = Process::CTickSource::Now();
      const int error = socket_.OnNetworkEvent(ready[i].events);
      if (error != 0) return static_cast<unsigned>(error);
    }
  }
  return 0;
}

}  // namespace OSTREL::Network::Socket
