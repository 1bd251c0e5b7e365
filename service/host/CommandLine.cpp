#include "service/host/CommandLine.h"

#include "framework/AsciiCase.h"

namespace OSTREL::Process {

std::string JoinArguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

ServiceSwitch ParseServiceSwitch(std::string_view commandLine) {
  struct Word {
    std::string_view text;
    ServiceSwitch action;
  };
  static constexpr Word kWords[] = {{"UnregServer", ServiceSwitch::kUnregServer},
                                    {"RegServer", ServiceSwitch::kRegServer},
                                    {"Service", ServiceSwitch::kService}};
  for (size_t at = commandLine.find_first_of("-/"); at != std::string_view::npos;
       at = commandLine.find_first_of("-/", at + 1)) {
    const std::string_view token = commandLine.substr(at + 1);
    for (const Word& word : kWords) {
      if (EqualsIgnoreCase(token, word.text)) return word.action;
    }
  }
  return ServiceSwitch::kLaunch;
}

}  // namespace OSTREL::Process
