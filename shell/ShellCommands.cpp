#include "shell/ShellCommands.h"

#include <chrono>

#include "platform/Folders.h"
#include "platform/ProgramRunner.h"
#include "platform/Registry.h"
#include "shell/DesktopRegistration.h"
#include "shell/ProtocolHandler.h"
#include "shell/ShellStrings.h"
#include "shell/ui/UiCommand.h"

namespace tarn::shell {
namespace {

constexpr const char* kUsage =
    "Usage: tarnshell COMMAND\n"
    "The desktop side of TARN.\n"
    "  ProtocolHandler LINK  starts the download of an ed2k://, p2p:// or tarn:// file link\n"
    "                        (or adds the server of a server link) in the TARN daemon, which\n"
    "                        the session bus starts when it is not running\n"
    "  SearchHandler         serves the web page as ui does, opened on the search band\n"
    "  RestartHandler        offers to restart the computer\n"
    "  --register            makes tarnshell the handler of those links for this user\n"
    "  --unregister          undoes --register\n"
    "  ui [--port N] [--no-open]\n"
    "                        serves TARN's web page on 127.0.0.1 and opens it in the browser\n"
    "                        (--no-open: only prints its address) until interrupted\n"
    "Exit status: 0 done, 1 refused, 2 bad usage or a malformed link, 3 the daemon is not\n"
    "reachable. Failures are also shown as desktop notifications.\n";

// How long the restart offer waits for an answer.
constexpr auto kRestartOfferTime = std::chrono::minutes(2);

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string UnescapeBrowserLink(std::string_view link) {
  const bool escapedBars =
      link.find('|') == std::string_view::npos &&
      (link.find("%7C") != std::string_view::npos || link.find("%7c") != std::string_view::npos);
  if (!escapedBars) return std::string(link);
  std::string text;
  for (size_t i = 0; i < link.size(); ++i) {
    const int high = link[i] == '%' && i + 2 < link.size() ? HexDigit(link[i + 1]) : -1;
    const int low = high >= 0 ? HexDigit(link[i + 2]) : -1;
    if (low < 0) {
      text += link[i];
      continue;
    }
    text += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return text;
}

int CShellCommands::Run(const std::vector<std::string>& arguments) {
  if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
    out_ << kUsage;
    return arguments.empty() ? kExitBadInput : kExitOk;
  }
  const std::string& command = arguments[0];
  const size_t extra = arguments.size() - 1;
  if (command == "ProtocolHandler" && extra == 1) return ProtocolHandler(arguments[1]);
  // The old entry point was spelled "SeachHandler"; both names are taken.
  if ((command == "SearchHandler" || command == "SeachHandler") && extra <= 1)
    return SearchHandler();
  if (command == "RestartHandler" && extra == 0) return RestartHandler();
  if (command == "--register" && extra == 0) return Registration(true);
  if (command == "--unregister" && extra == 0) return Registration(false);
  if (command == "ui")
    return ui::RunUiCommand({arguments.begin() + 1, arguments.end()}, out_, err_, interrupted_);
  err_ << "tarnshell: bad usage (tarnshell --help lists the commands)\n";
  return kExitBadInput;
}

int CShellCommands::ProtocolHandler(const std::string& link) {
  auto client = OSTREL::COM::CApiClient::ForDaemon();
  // Notifications are the user's, on the session bus, wherever the daemon runs.
  std::unique_ptr<sdbus::IConnection> session;
  try {
    session = sdbus::createSessionBusConnection();
  } catch (const sdbus::Error&) {
    // No desktop to tell: standard error only.
  }
  std::unique_ptr<CDesktopNotifier> notifier;
  if (session) notifier = std::make_unique<CDesktopNotifier>(*session);
  CProtocolHandler handler(client.get(), notifier.get(), err_);
  return handler.Handle(UnescapeBrowserLink(link));
}

// The web page, opened on the search band; it serves until interrupted, as `ui` does.
int CShellCommands::SearchHandler() {
  return ui::RunUiCommand({}, out_, err_, interrupted_, "search");
}

// Nothing of TARN needs a restart on Linux; the offer stays for installers that ask for it.
int CShellCommands::RestartHandler() {
  auto client = OSTREL::COM::CApiClient::ForSessionBus();
  if (!client) {
    err_ << "tarnshell: " << ShellString(kStrRestartPrompt) << "\n";
    return kExitOk;
  }
  std::optional<uint32_t> shown;
  bool answered = false;
  CDesktopNotifier notifier(
      client->Connection(),
      [&](uint32_t id, const std::string& action) {
        if (id != shown || answered) return;
        answered = true;
        if (action == "restart") OSTREL::Platform::RunProgram({"systemctl", "reboot"});
      },
      [&](uint32_t id) { answered = answered || id == shown; });
  shown = notifier.Notify({std::string(ShellString(kStrShellName)),
                           std::string(ShellString(kStrRestartPrompt)),
                           {{"restart", std::string(ShellString(kStrRestart))}},
                           -1});
  if (!shown) {
    err_ << "tarnshell: " << ShellString(kStrRestartPrompt) << "\n";
    return kExitOk;
  }
  client->PumpUntil([&] { return answered; },
                    std::chrono::duration_cast<std::chrono::milliseconds>(kRestartOfferTime));
  return kExitOk;
}

int CShellCommands::Registration(bool add) {
  OSTREL::Platform::CRegistry registry(OSTREL::Platform::CFolders::RegistryFolder());
  CDesktopRegistration registration(registry, SShellPaths::FromEnvironment());
  if (add ? registration.Register() : registration.Unregister()) return kExitOk;
  err_ << "tarnshell: " << (add ? "registration" : "unregistration")
       << " was not complete (a file or folder could not be written)\n";
  return kExitRefused;
}

}  // namespace tarn::shell
