// A thread that owns one client of the session bus: it handles what arrives on the
// connection (signals reach the handlers registered on it) and runs the tasks posted to it,
// one at a time, so everything that touches the connection happens on this one thread. The
// client is made on the thread when it starts; without a bus the tasks still run and see no
// client. Post, Call and Stop may be called from any other thread.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "framework/CriticalSection.h"
#include "service/client/ApiClient.h"

namespace tarn::shell {

class CBusWorker {
 public:
  using Connect = std::function<std::unique_ptr<OSTREL::COM::CApiClient>()>;
  using Task = std::function<void()>;

  explicit CBusWorker(Connect connect);
  ~CBusWorker();  // Stop()
  CBusWorker(const CBusWorker&) = delete;
  CBusWorker& operator=(const CBusWorker&) = delete;

  // False once the worker stopped.
  bool Post(Task task);

  // Runs `task` on the worker and waits for its result; never from the worker itself.
  template <typename F>
  auto Call(F task) -> decltype(task()) {
    using Result = decltype(task());
    auto promise = std::make_shared<std::promise<Result>>();
    auto result = promise->get_future();
    const bool posted = Post([promise, task = std::move(task)]() mutable {
      if constexpr (std::is_void_v<Result>) {
        task();
        promise->set_value();
      } else {
        promise->set_value(task());
      }
    });
    if (!posted) {
      if constexpr (std::is_void_v<Result>)
        return;
      else
        return Result{};
    }
    return result.get();
  }

  // Runs `last` on the worker (to let go of what was made there), then ends the thread and
  // closes the connection. Idempotent.
  void Stop(Task last = {});

  // The worker's client; null without a bus. Worker thread only.
  OSTREL::COM::CApiClient* Client() { return client_.get(); }
  bool OnWorker() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void Loop(Connect connect);
  bool RunTasks();
  void Wake();

  std::unique_ptr<OSTREL::COM::CApiClient> client_;  // worker thread only
  int wakeFd_ = -1;
  OSTREL::Process::CMutex lock_;
  std::deque<Task> tasks_ GUARDED_BY(lock_);
  bool stopping_ GUARDED_BY(lock_) = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tarn::shell
