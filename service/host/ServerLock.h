// The lock count of a local server: every client the transport sees takes one lock and gives
// it back when it leaves. Implemented by the service module; called from transport threads.
#pragma once

namespace OSTREL::Process {

class IServerLock {
 public:
  virtual ~IServerLock() = default;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

}  // namespace OSTREL::Process
