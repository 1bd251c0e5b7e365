// A stand-in desktop for tests, on the session bus of the test: a notification server
// (org.freedesktop.Notifications) that records every notification and can answer with an
// action or a close, and optionally a file manager (org.freedesktop.FileManager1) that records
// the folders it is asked to show. It serves on a bus worker of its own; its methods may be
// called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "shell/BusWorker.h"

namespace tarn::test {

struct SRecordedNotification {
  uint32_t id = 0;
  std::string summary;
  std::string body;
  std::vector<std::string> actions;  // key, label, key, label...
};

class CNotificationRecorder {
 public:
  // `onLine` gets each recorded call as one line of JSON (for the recorder program).
  explicit CNotificationRecorder(bool fileManager,
                                 std::function<void(const std::string&)> onLine = {});
  ~CNotificationRecorder();

  // Whether the names are owned (false when the bus refused them).
  bool Serving() const { return serving_; }
  std::vector<SRecordedNotification> Notifications() const;
  std::vector<std::string> ShownFolders() const;
  // Answers as a desktop would when the user picks `action` of notification `id`.
  void InvokeAction(uint32_t id, const std::string& action);

 private:
  void Serve(bool fileManager);
  void Line(const std::string& line);

  std::function<void(const std::string&)> onLine_;
  mutable std::mutex lock_;
  std::vector<SRecordedNotification> notifications_;
  std::vector<std::string> folders_;
  bool serving_ = false;
  struct SObjects;
  std::unique_ptr<SObjects> objects_;  // worker thread only
  shell::CBusWorker worker_;
};

}  // namespace tarn::test
