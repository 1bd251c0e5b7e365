#include "framework/ElapsedTimeManager.h"

namespace OSTREL::Network::Socket {

bool CElapsedTimeManager::Start(IIdleSweeper* sweeper) {
  Stop();
  sweeper_ = sweeper;
  stopEvent_.ResetEvent();
  return CThreadBase::Start();
}

bool CElapsedTimeManager::Stop() {
  stopEvent_.Set();
  return CThreadBase::Stop();
}

unsigned CElapsedTimeManager::Run() {
  while (!IsStopping()) {
    if (Process::WaitForEvent(stopEvent_, period_)) return 0;
    if (sweeper_ != nullptr) sweeper_->SweepIdle();
  }
  return 0;
}

}  // namespace OSTREL::Network::Socket
