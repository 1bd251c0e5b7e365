#include "shell/ui/UiCommand.h"

#include <charconv>
#include <chrono>
#include <ostream>
#include <thread>

#include "platform/Folders.h"
#include "platform/ProgramRunner.h"
#include "shell/ui/MirrorUiData.h"
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

}  // namespace

int RunUiCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                 const std::atomic<bool>& interrupted, std::string_view openAt) {
  SUiOptions options;
  std::string error;
  if (!ReadOptions(arguments, options, error)) {
    err << "tarnshell ui: " << error << "\n" << kUsage;
    return 2;
  }
  const auto registryFolder = OSTREL::Platform::CFolders::RegistryFolder();
  OSTREL::Platform::CRegistry registry(registryFolder);
  CEventHub hub;
  // The daemon's bus: the session bus, or the system bus of a system-wide daemon.
  CMirrorUiData data(&OSTREL::COM::CApiClient::ForDaemon, hub, registryFolder);
  CUiApi api(data, hub, registry);
  data.Start([&api](const OSTREL::COM::SDownloadRecord& completed) {
    api.QueueCompletionPrompt(completed);
  });
  CUiServer server(api, hub, {.port = options.port, .pageFolder = DefaultPageFolder()});
  if (!server.Start(&error)) {
    err << "tarnshell ui: " << error << "\n";
    data.Stop();
    return 1;
  }
  out << "TARN's page: " << server.Address() << std::endl;
  const std::string opened =
      openAt.empty() ? server.Address() : server.Address() + "#" + std::string(openAt);
  if (options.open && !OSTREL::Platform::StartProgram({"xdg-open", opened}))
    err << "tarnshell ui: no browser could be opened; open the address above\n";
  while (!interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server.Stop();
  data.Stop();
  return 0;
}

}  // namespace tarn::shell::ui
