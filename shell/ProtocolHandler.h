// What a click on an ed2k://, p2p:// or tarn:// link does: the link is read strictly, then
// handed to the daemon over the bus (a file link starts a download, a server link adds the
// server), which the bus starts when it is not running. Whatever goes wrong (a malformed
// link, a refusal, no daemon) is said once, in a desktop notification and on standard error,
// and ends in a non-zero status. One thread.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "engine/protocol/Ed2kLink.h"
#include "service/client/ApiClient.h"
#include "shell/DesktopNotifier.h"

namespace tarn::shell {

// The statuses of tarnshell, as tarn has them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitUnreachable = 3;

class CProtocolHandler {
 public:
  // `client` and `notifier` are null when there is no session bus.
  CProtocolHandler(OSTREL::COM::CApiClient* client, IDesktopNotifier* notifier, std::ostream& err);

  int Handle(std::string_view link);
  // What the last Handle did, or why it did not, in one sentence for the user.
  const std::string& Outcome() const { return outcome_; }

 private:
  int StartDownload(const P2P::Protocol::SEd2kLink& link);
  int AddServer(const P2P::Protocol::SEd2kLink& link);
  int Unreachable();
  // Says why, once; returns `status`.
  int Fail(int status, int summary, const std::string& reason);

  OSTREL::COM::CApiClient* client_;
  IDesktopNotifier* notifier_;
  std::ostream& err_;
  std::string outcome_;
};

}  // namespace tarn::shell
