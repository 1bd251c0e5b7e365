// The sub-commands of `tarn` on the automation API's C++ interfaces. Each answers an exit
// status: 0 done, 1 refused or failed (an unknown key included), 2 bad usage or a bad link,
// 3 the daemon unreachable; every failure writes one line to `err`. One thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/ArgumentParser.h"
#include "cli/Listings.h"
#include "service/client/ApiClient.h"

namespace tarn::cli {

enum ExitStatus : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitUnreachable = 3 };

struct STarnIo {
  std::ostream& out;
  std::ostream& err;
  bool terminal = false;               // out is a terminal: live redraws
  const std::atomic<bool>* interrupted = nullptr;  // set by Ctrl-C
  bool systemBus = false;  // the daemon is the system service (TARN_BUS=system)
  std::function<size_t()> columns;  // the terminal's width; 0 or none when out is no terminal
};

class CTarnCommands {
 public:
  using Connector = std::function<std::unique_ptr<OSTREL::COM::CApiClient>()>;
  CTarnCommands(Connector connect, STarnIo io) : connect_(std::move(connect)), io_(io) {}

  // The arguments after the program name.
  int Run(const std::vector<std::string>& arguments);

 private:
  using Manager = OSTREL::COM::IP2PServiceManager;

  int Fail(int status, const std::string& message);
  // Connects and checks the daemon answers; false after writing why.
  bool Connect();

  // The listed server's "IP:PORT" for a dotted `host`; empty when none is.
  std::string ListedAddress(const std::string& host);
  // Waits until the daemon's session with `address` is up: 0, or 1 after saying why not.
  int AwaitConnection(const std::string& address, std::chrono::milliseconds wait);

  // The terminal's width in columns, 0 when out is no terminal.
  size_t Columns() const { return io_.columns ? io_.columns() : 0; }
  // Whether a daemon still answers: the one that did (`owner`), or after it left, a new one
  // within kRestartWait (`restarted`, `owner` its name then). False when none came.
  bool FollowDaemon(std::string& owner, bool& restarted);
  // The lines for downloads listed `before` and gone `now`: completed (now shared) or removed.
  std::vector<std::string> GoneLines(const std::map<int32_t, SDownloadRow>& before,
                                     const std::vector<SDownloadRow>& now, bool json);

  int Status(const SParsedArguments& args);
  int Servers(const SParsedArguments& args);
  int Search(const SParsedArguments& args);
  int Download(const SParsedArguments& args);
  int Downloads(const SParsedArguments& args);
  int Control(const std::string& verb, const SParsedArguments& args);
  int Shared(const SParsedArguments& args);
  int Uploads(const SParsedArguments& args);
  int Config(const SParsedArguments& args);
  int Watch(const SParsedArguments& args);

  bool Interrupted() const { return io_.interrupted != nullptr && io_.interrupted->load(); }

  static constexpr std::chrono::seconds kRestartWait{10};

  Connector connect_;
  STarnIo io_;
  std::unique_ptr<OSTREL::COM::CApiClient> client_;
  std::shared_ptr<Manager> manager_;
};

}  // namespace tarn::cli
