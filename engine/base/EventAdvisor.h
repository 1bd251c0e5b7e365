// The engine's event fan-out: a manager derives from ITARNNetP2PEventAdvisorT<Handler> and
// calls every registered handler, in registration order, for each event. Handlers are plain
// pointers (no references taken); they register and unregister themselves. Any thread may
// advise, unadvise or fire; handlers run on the firing thread.
#pragma once

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "framework/CriticalSection.h"

namespace P2P {

template <typename Handler>
class ITARNNetP2PEventAdvisorT {
 public:
  virtual ~ITARNNetP2PEventAdvisorT() = default;

  void Advise(Handler* handler) {
    OSTREL::Process::CLock guard(handlersLock_);
    handlers_.push_back(handler);
  }
  void Unadvise(Handler* handler) {
    OSTREL::Process::CLock guard(handlersLock_);
    handlers_.erase(std::remove(handlers_.begin(), handlers_.end(), handler), handlers_.end());
  }

 protected:
  // Calls `event` on every handler. The list is copied first so that a handler may advise or
  // unadvise from inside the call.
  template <typename Method, typename... Args>
  void FanOut(Method event, Args&&... args) {
    std::vector<Handler*> handlers;
    {
      OSTREL::Process::CLock guard(handlersLock_);
      handlers = handlers_;
    }
    for (Handler* handler : handlers) (handler->*event)(args...);
  }

 private:
  OSTREL::Process::CMutex handlersLock_;
  std::vector<Handler*> handlers_ GUARDED_BY(handlersLock_);
};

}  // namespace P2P
