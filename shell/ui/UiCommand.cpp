#include "shell/ui/UiCommand.h"

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <ostream>
#include <thread>

#include "platform/Folders.h"
#include "shell/ui/BusUiData.h"
#include "shell/ui/Launcher.h"
#include "shell/ui/UiServer.h"

namespace tarn::shell::ui {
namespace {

constexpr const char* kUsage = "usage: tarnshell ui [--port N] [--no-open]\n";

struct SUiOptions {
  uint16_t port = 0;
  bool open = true;
};

bool ReadOptions(const std::vector<std::string>& arguments, SUiOptions& options,
                 std::string& error) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--no-open") {
      options.open = false;
    } else if (a == "--port" && i + 1 < arguments.size()) {
      const std::string& text = arguments[++i];
      unsigned value = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535) {
        error = "--port: a port from 1 to 65535";
        return false;
      }
      options.port = static_cast<uint16_t>(value);
    } else {
      error = "unknown argument " + a;
      return false;
    }
  }
  return true;
}

// The session bus, or the system bus of a system-wide daemon (TARN_BUS=system).
std::unique_ptr<OSTREL::COM::CApiClient> ConnectToDaemon() {
  const char* bus = std::getenv("TARN_BUS");
  try {
    if (bus != nullptr && std::string_view(bus) == "system")
      return std::make_unique<OSTREL::COM::CApiClient>(sdbus::createSystemBusConnection());
    return OSTREL::COM::CApiClient::ForSessionBus();
  } catch (const sdbus::Error&) {
    return nullptr;
  }
}

}  // namespace

int RunUiCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                 const std::atomic<bool>& interrupted) {
  SUiOptions options;
  std::string error;
  if (!ReadOptions(arguments, options, error)) {
    err << "tarnshell ui: " << error << "\n" << kUsage;
    return 2;
  }
  OSTREL::Platform::CRegistry registry(OSTREL::Platform::CFolders::RegistryFolder());
  CEventHub hub;
  CUiApi* apiForPrompts = nullptr;
  CBusUiData data(&ConnectToDaemon, hub, registry, [&apiForPrompts](const std::string& name) {
    if (apiForPrompts != nullptr) apiForPrompts->QueueCompletionPrompt(name);
  });
  CUiApi api(data, hub, registry);
  apiForPrompts = &api;
  CUiServer server(api, hub, {.port = options.port, .pageFolder = DefaultPageFolder()});
  if (!server.Start(&error)) {
    err << "tarnshell ui: " << error << "\n";
    data.Stop();
    return 1;
  }
  out << "TARN's page: " << server.Address() << std::endl;
  if (options.open && !LaunchDetached({"xdg-open", server.Address()}))
    err << "tarnshell ui: no browser could be opened; open the address above\n";
  while (!interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server.Stop();
  data.Stop();
  return 0;
}

}  // namespace tarn::shell::ui
