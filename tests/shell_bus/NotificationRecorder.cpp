#include "tests/shell_bus/NotificationRecorder.h"

#include <map>

namespace tarn::test {
namespace {

constexpr const char* kNotifications = "org.freedesktop.Notifications";
constexpr const char* kFileManager = "org.freedesktop.FileManager1";
constexpr const char* kRecorder = "com.ostrel.TarnTest.Recorder";

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string JsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const auto& item : items) out += (out.size() > 1 ? "," : "") + Json(item);
  return out + "]";
}

}  // namespace

struct CNotificationRecorder::SObjects {
  std::unique_ptr<sdbus::IObject> notifications;
  std::unique_ptr<sdbus::IObject> fileManager;
};

CNotificationRecorder::CNotificationRecorder(bool fileManager,
                                             std::function<void(const std::string&)> onLine)
    : onLine_(std::move(onLine)), worker_([] {
        return std::make_unique<OSTREL::COM::CApiClient>(sdbus::createSessionBusConnection(),
                                                         kNotifications);
      }) {
  worker_.Call([this, fileManager] { Serve(fileManager); });
}

CNotificationRecorder::~CNotificationRecorder() {
  worker_.Stop([this] { objects_.reset(); });
}

void CNotificationRecorder::Serve(bool fileManager) {
  auto* client = worker_.Client();
  if (client == nullptr) return;
  auto& connection = client->Connection();
  objects_ = std::make_unique<SObjects>();
  try {
    auto& object = objects_->notifications =
        sdbus::createObject(connection, "/org/freedesktop/Notifications");
    object->registerMethod("Notify")
        .onInterface(kNotifications)
        .implementedAs([this](const std::string&, uint32_t, const std::string&,
                              const std::string& summary, const std::string& body,
                              const std::vector<std::string>& actions,
                              const std::map<std::string, sdbus::Variant>&, int32_t) {
          uint32_t id = 0;
          {
            std::lock_guard guard(lock_);
            id = static_cast<uint32_t>(notifications_.size() + 1);
            notifications_.push_back({id, summary, body, actions});
          }
          Line("{\"call\":\"Notify\",\"id\":" + std::to_string(id) +
               ",\"summary\":" + Json(summary) + ",\"body\":" + Json(body) +
               ",\"actions\":" + JsonList(actions) + "}");
          return id;
        });
    object->registerMethod("CloseNotification")
        .onInterface(kNotifications)
        .implementedAs([](uint32_t) {});
    object->registerMethod("GetCapabilities").onInterface(kNotifications).implementedAs([] {
      return std::vector<std::string>{"actions", "body"};
    });
    object->registerSignal("ActionInvoked")
        .onInterface(kNotifications)
        .withParameters<uint32_t, std::string>();
    object->registerSignal("NotificationClosed")
        .onInterface(kNotifications)
        .withParameters<uint32_t, uint32_t>();
    // The test's own hand on the desktop: the user picks an action.
    object->registerMethod("InvokeAction")
        .onInterface(kRecorder)
        .implementedAs(
            [this](uint32_t id, const std::string& action) { InvokeAction(id, action); });
    object->finishRegistration();
    connection.requestName(kNotifications);
    if (fileManager) {
      auto& manager = objects_->fileManager =
          sdbus::createObject(connection, "/org/freedesktop/FileManager1");
      manager->registerMethod("ShowFolders")
          .onInterface(kFileManager)
          .implementedAs([this](const std::vector<std::string>& uris, const std::string&) {
            {
              std::lock_guard guard(lock_);
              folders_.insert(folders_.end(), uris.begin(), uris.end());
            }
            Line("{\"call\":\"ShowFolders\",\"uris\":" + JsonList(uris) + "}");
          });
      manager->finishRegistration();
      connection.requestName(kFileManager);
    }
    serving_ = true;
  } catch (const sdbus::Error&) {
    objects_.reset();
  }
}

void CNotificationRecorder::Line(const std::string& line) {
  if (onLine_) onLine_(line);
}

std::vector<SRecordedNotification> CNotificationRecorder::Notifications() const {
  std::lock_guard guard(lock_);
  return notifications_;
}

std::vector<std::string> CNotificationRecorder::ShownFolders() const {
  std::lock_guard guard(lock_);
  return folders_;
}

void CNotificationRecorder::InvokeAction(uint32_t id, const std::string& action) {
  auto emit = [this, id, action] {
    if (!objects_ || !objects_->notifications) return;
    objects_->notifications->emitSignal("ActionInvoked")
        .onInterface(kNotifications)
        .withArguments(id, action);
    objects_->notifications->emitSignal("NotificationClosed")
        .onInterface(kNotifications)
        .withArguments(id, uint32_t{2});
  };
  if (worker_.OnWorker()) {
    emit();
  } else {
    worker_.Call(emit);
  }
}

}  // namespace tarn::test
