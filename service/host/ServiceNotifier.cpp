#include "service/host/ServiceNotifier.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <string>

namespace OSTREL::Process {
namespace {

// Newlines would start a new assignment in the datagram.
std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

bool Notify(std::string_view state, std::string_view status) {
  if (!CServiceNotifier::UnderServiceManager()) return false;
  std::string message(state);
  if (!status.empty()) message += "\nSTATUS=" + OneLine(status);
  return sd_notify(0, message.c_str()) > 0;
}

}  // namespace

bool CServiceNotifier::UnderServiceManager() {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  return socket != nullptr && *socket != '\0';
}

bool CServiceNotifier::ReportReady(std::string_view status) { return Notify("READY=1", status); }

bool CServiceNotifier::ReportStatus(std::string_view status) {
  return Notify("STATUS=" + OneLine(status), {});
}

bool CServiceNotifier::ReportStopping(std::string_view status) {
  return Notify("STOPPING=1", status);
}

}  // namespace OSTREL::Process
