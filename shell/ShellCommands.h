// The sub-commands of tarnshell, each an entry point the desktop calls: ProtocolHandler for a
// clicked link, SearchHandler and RestartHandler, and --register / --unregister of the
// desktop integration. One thread.
#pragma once

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
  CShellCommands(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  int Run(const std::vector<std::string>& arguments);

 private:
  int ProtocolHandler(const std::string& link);
  int SearchHandler();
  int RestartHandler();
  int Registration(bool add);

  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace tarn::shell
