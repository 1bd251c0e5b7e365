#include "shell/DesktopNotifier.h"

#include <map>

namespace tarn::shell {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr const char* kAppName = "TARN";

}  // namespace

CDesktopNotifier::CDesktopNotifier(sdbus::IConnection& connection, ActionHandler onAction,
                                   ClosedHandler onClosed) {
  try {
    proxy_ = sdbus::createProxy(connection, kService, kPath);
    if (onAction)
      proxy_->uponSignal("ActionInvoked")
          .onInterface(kInterface)
          .call([onAction](uint32_t id, const std::string& action) { onAction(id, action); });
    if (onClosed)
      proxy_->uponSignal("NotificationClosed")
          .onInterface(kInterface)
          .call([onClosed](uint32_t id, uint32_t /*reason*/) { onClosed(id); });
    proxy_->finishRegistration();
  } catch (const sdbus::Error&) {
    proxy_.reset();
  }
}

CDesktopNotifier::~CDesktopNotifier() = default;

std::optional<uint32_t> CDesktopNotifier::Notify(const SNotification& notification) {
  if (!proxy_) return std::nullopt;
  std::vector<std::string> actions;
  for (const auto& [key, label] : notification.actions) {
    actions.push_back(key);
    actions.push_back(label);
  }
  // The desktop entry, so the server can show the program's name and icon.
  const std::map<std::string, sdbus::Variant> hints{
      {"desktop-entry", sdbus::Variant(std::string("tarnshell"))}};
  try {
    uint32_t id = 0;
    proxy_->callMethod("Notify")
        .onInterface(kInterface)
        .withArguments(std::string(kAppName), uint32_t{0}, std::string(), notification.summary,
                       notification.body, actions, hints, notification.expireMilliseconds)
        .storeResultsTo(id);
    return id;
  } catch (const sdbus::Error&) {
    return std::nullopt;
  }
}

}  // namespace tarn::shell
