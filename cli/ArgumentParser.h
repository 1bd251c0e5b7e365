// The arguments of one `tarn` sub-command: words, options with a value ("--type video" or
// "--type=video") and flags ("--json"). Only the options a sub-command declares are taken;
// anything else is an error naming the option. "--" ends the options; "-1" is a word. Pure;
// any thread.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tarn::cli {

struct SOptionSpec {
  std::set<std::string> valued;  // "--type", ...
  std::set<std::string> flags;   // "--json", ...
};

struct SParsedArguments {
  std::vector<std::string> words;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;

  bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
  std::optional<std::string> Value(const std::string& option) const;
};

// False with `error` set ("unknown option --x", "--type needs a value").
bool ParseArguments(const std::vector<std::string>& arguments, const SOptionSpec& spec,
                    SParsedArguments& parsed, std::string& error);

}  // namespace tarn::cli
