// The sub-commands of tarnshell, each an entry point the desktop calls: ProtocolHandler for a
// clicked link, SearchHandler and RestartHandler, --register / --unregister of the desktop
// integration, and ui, the web page. One thread.
#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::shell {

// A link as a browser may hand it over: some escape the whole link once, bars included
// ("ed2k://%7Cfile%7C..."); such a link is unescaped once, so a name's own escapes survive.
std::string UnescapeBrowserLink(std::string_view link);

class CShellCommands {
 public:
  // `interrupted` ends the commands that run until stopped (ui).
  CShellCommands(std::ostream& out, std::ostream& err, const std::atomic<bool>& interrupted)
      : out_(out), err_(err), interrupted_(interrupted) {}

  int Run(const std::vector<std::string>& arguments);

 private:
  int ProtocolHandler(const std::string& link);
  int SearchHandler();
  int RestartHandler();
  int Registration(bool add);

  std::ostream& out_;
  std::ostream& err_;
  const std::atomic<bool>& interrupted_;
};

}  // namespace tarn::shell
