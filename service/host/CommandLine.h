// The host's command line: the registration switches, found as in a Windows command line
// (the text after a "-" or "/" up to the end of the line, compared without regard to case),
// so a switch must come last. Anything else, the activation switch included, launches.
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace OSTREL::Process {

enum class ServiceSwitch { kLaunch, kUnregServer, kRegServer, kService };

// The arguments after the program name, joined by single blanks.
std::string JoinArguments(int argc, const char* const* argv);

ServiceSwitch ParseServiceSwitch(std::string_view commandLine);

}  // namespace OSTREL::Process
