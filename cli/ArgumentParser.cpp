#include "cli/ArgumentParser.h"

namespace tarn::cli {

std::optional<std::string> SParsedArguments::Value(const std::string& option) const {
  const auto found = values.find(option);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

bool ParseArguments(const std::vector<std::string>& arguments, const SOptionSpec& spec,
                    SParsedArguments& parsed, std::string& error) {
  parsed = {};
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    // A dash before a digit is a negative number ("config TCPPort -1"), not an option.
    const bool negativeNumber =
        argument.size() >= 2 && argument[0] == '-' && argument[1] >= '0' && argument[1] <= '9';
    if (optionsEnded || argument.size() < 2 || argument[0] != '-' || negativeNumber) {
      parsed.words.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = argument;
    std::optional<std::string> inlineValue;
    if (const auto equals = argument.find('='); equals != std::string::npos) {
      name = argument.substr(0, equals);
      inlineValue = argument.substr(equals + 1);
    }
    if (spec.flags.count(name) != 0) {
      if (inlineValue) {
        error = name + " takes no value";
        return false;
      }
      parsed.flags.insert(name);
    } else if (spec.valued.count(name) != 0) {
      if (inlineValue) {
        parsed.values[name] = *inlineValue;
      } else if (i + 1 < arguments.size()) {
        parsed.values[name] = arguments[++i];
      } else {
        error = name + " needs a value";
        return false;
      }
    } else {
      error = "unknown option " + name;
      return false;
    }
  }
  return true;
}

}  // namespace tarn::cli
