#include "shell/BusWorker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tarn::shell {

CBusWorker::CBusWorker(Connect connect) {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread([this, connect = std::move(connect)] { Loop(connect); });
}

CBusWorker::~CBusWorker() {
  Stop();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool CBusWorker::Post(Task task) {
  {
    OSTREL::Process::CLock guard(lock_);
    if (stopping_) return false;
    tasks_.push_back(std::move(task));
  }
  Wake();
  return true;
}

void CBusWorker::Stop(Task last) {
  {
    OSTREL::Process::CLock guard(lock_);
    if (stopping_) return;
    if (last) tasks_.push_back(std::move(last));
    stopping_ = true;
  }
  stop_.store(true);
  Wake();
  if (thread_.joinable()) thread_.join();
}

void CBusWorker::Wake() {
  const uint64_t one = 1;
  if (::write(wakeFd_, &one, sizeof one) < 0) { /* the counter is already set */
  }
}

bool CBusWorker::RunTasks() {
  std::deque<Task> tasks;
  {
    OSTREL::Process::CLock guard(lock_);
    tasks.swap(tasks_);
  }
  for (Task& task : tasks) task();
  return !tasks.empty();
}

void CBusWorker::Loop(Connect connect) {
  try {
    client_ = connect();
  } catch (const sdbus::Error&) {
    client_.reset();
  }
  while (true) {
    const bool ran = RunTasks();
    if (stop_.load()) {
      if (!RunTasks()) break;
      continue;
    }
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {-1, 0, 0}};
    int timeout = -1;
    try {
      if (client_) {
        auto& connection = client_->Connection();
        while (connection.processPendingRequest()) {
          if (stop_.load()) break;
        }
        const auto data = connection.getEventLoopPollData();
        fds[1] = {data.fd, data.events, 0};
        timeout = OSTREL::COM::BusPollTimeout(data.timeout_usec);
      }
    } catch (const sdbus::Error&) {
      client_.reset();  // the bus went away; tasks still run
    }
    if (ran) continue;  // tasks may have queued more
    ::poll(fds, fds[1].fd >= 0 ? 2 : 1, timeout);
    if (fds[0].revents & POLLIN) {
      uint64_t count = 0;
      if (::read(wakeFd_, &count, sizeof count) < 0) { /* nothing was pending */
      }
    }
  }
  client_.reset();
}

}  // namespace tarn::shell
