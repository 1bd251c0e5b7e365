#include "framework/Thread.h"

namespace OSTREL::Process {

CThreadBase::~CThreadBase() { Join(); }

bool CThreadBase::Start() {
  Join();  // a finished earlier run leaves a joinable handle behind
  stop_.store(false, std::memory_order_release);
  running_.store(true, std::memory_order_release);
  try {
    thread_ = std::thread([this] {
      runningId_.store(std::this_thread::get_id(), std::memory_order_release);
      exitCode_ = Run();
      running_.store(false, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    running_.store(false, std::memory_order_release);
    return false;
  }
  return true;
}

bool CThreadBase::Stop() {
  RequestStop();
  // A thread cannot wait for itself: from its own thread Stop only asks it to end.
  if (!IsCurrentThread()) Join();
  return true;
}

void CThreadBase::Join() {
  if (!thread_.joinable()) return;
  if (IsCurrentThread())
    thread_.detach();
  else
    thread_.join();
  runningId_.store(std::thread::id(), std::memory_order_release);
}

}  // namespace OSTREL::Process
