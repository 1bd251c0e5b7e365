// The status line to systemd: READY, STATUS and STOPPING through sd_notify on the socket
// named by NOTIFY_SOCKET. Without that variable the process was not started by systemd and
// every report is a no-op. Any thread.
#pragma once

#include <string_view>

namespace OSTREL::Process {

class CServiceNotifier {
 public:
  static bool UnderServiceManager();

  // Each returns true when systemd was told.
  static bool ReportReady(std::string_view status);
  static bool ReportStatus(std::string_view status);
  static bool ReportStopping(std::string_view status);
};

}  // namespace OSTREL::Process
