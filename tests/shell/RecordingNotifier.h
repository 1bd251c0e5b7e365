// A desktop notifier for tests: keeps every notification it is asked to show. One thread.
#pragma once

#include <optional>
#include <vector>

#include "shell/DesktopNotifier.h"

namespace tarn::test {

class CRecordingNotifier : public shell::IDesktopNotifier {
 public:
  std::optional<uint32_t> Notify(const shell::SNotification& notification) override {
    shown.push_back(notification);
    return static_cast<uint32_t>(shown.size());
  }
  // "summary: body" of notification `index`.
  std::string Line(size_t index) const { return shown[index].summary + ": " + shown[index].body; }

  std::vector<shell::SNotification> shown;
};

}  // namespace tarn::test
