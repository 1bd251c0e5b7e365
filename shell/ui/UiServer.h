// The page's HTTP server on 127.0.0.1: admits only the browser holding the per-launch token
// (see CRequestGuard), serves the page's files from the folder installed with tarnshell, the
// page's data (CUiApi) and the event stream that tells open pages what changed. It serves on
// a thread of its own and answers on a pool of worker threads; Start and Stop from one
// controlling thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "shell/ui/EventHub.h"
#include "shell/ui/RequestGuard.h"
#include "shell/ui/UiApi.h"

namespace httplib {
class Server;
}

namespace tarn::shell::ui {

struct SUiServerOptions {
  uint16_t port = 0;  // 0: a free one
  std::filesystem::path pageFolder{};
  std::string token{};  // empty: a new random one
};

class CUiServer {
 public:
  CUiServer(CUiApi& api, CEventHub& hub, SUiServerOptions options);
  ~CUiServer();
  CUiServer(const CUiServer&) = delete;
  CUiServer& operator=(const CUiServer&) = delete;

  // Loads the page's files, binds the port and starts serving; false with the reason.
  bool Start(std::string* error);
  // Ends every event stream, stops serving and waits for the serving thread. Idempotent.
  void Stop();

  uint16_t Port() const { return port_; }
  // The address to open, token included.
  std::string Address() const { return guard_ ? guard_->Address() : std::string(); }

 private:
  struct SPageFile {
    std::string content, type;
  };
  bool LoadPage(std::string* error);
  void Route();

  CUiApi& api_;
  CEventHub& hub_;
  SUiServerOptions options_;
  uint16_t port_ = 0;
  std::unique_ptr<CRequestGuard> guard_;
  std::map<std::string, SPageFile> files_;  // by path below /ui/, read once at start
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
};

// Where the page's files are: beside the program as built (share/tarn/ui next to it) or as
// installed (../share/tarn/ui); TARN_UI_DIR overrides both.
std::filesystem::path DefaultPageFolder();

}  // namespace tarn::shell::ui
