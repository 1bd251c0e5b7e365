// Desktop notifications through the freedesktop notification server
// (org.freedesktop.Notifications on the session bus): one call shows one, with the actions it
// offers; the server's answers (an action chosen, a notification closed) reach the callbacks
// while the connection is processed. Without a server nothing fails: Notify says so. Calls and
// callbacks on the thread that processes the connection.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarn::shell {

struct SNotification {
  std::string summary;
  std::string body;
  std::vector<std::pair<std::string, std::string>> actions;  // key, label
  int32_t expireMilliseconds = -1;                           // -1: the server decides
};

class IDesktopNotifier {
 public:
  virtual ~IDesktopNotifier() = default;
  // The notification's id; nothing when no notification server took it.
  virtual std::optional<uint32_t> Notify(const SNotification& notification) = 0;
};

class CDesktopNotifier : public IDesktopNotifier {
 public:
  using ActionHandler = std::function<void(uint32_t id, const std::string& action)>;
  using ClosedHandler = std::function<void(uint32_t id)>;

  // The handlers may be empty.
  CDesktopNotifier(sdbus::IConnection& connection, ActionHandler onAction = {},
                   ClosedHandler onClosed = {});
  ~CDesktopNotifier() override;

  std::optional<uint32_t> Notify(const SNotification& notification) override;

 private:
  std::unique_ptr<sdbus::IProxy> proxy_;
};

}  // namespace tarn::shell
