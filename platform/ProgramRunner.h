// Other programs of the desktop that TARN hands work to (xdg-mime, update-desktop-database,
// xdg-open, systemctl): found on $PATH, run with their output discarded, either to their end
// or left running in a session of their own. Any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace OSTREL::Platform {

// The executable file `program` names on $PATH; nothing when it is not installed.
std::optional<std::filesystem::path> FindProgram(std::string_view program);

// Variables the program gets in place of (or beside) those of this process.
using ProgramEnvironment = std::vector<std::pair<std::string, std::string>>;

// Runs argv[0] (looked up on $PATH unless it holds a '/') to its end with standard input,
// output and error on /dev/null. Its exit status, or -1 when it could not run or was killed.
int RunProgram(const std::vector<std::string>& argv, const ProgramEnvironment& environment = {});

// Starts argv[0] in a session of its own and returns at once; a thread of ours reaps it.
// False when it could not be started.
bool StartProgram(const std::vector<std::string>& argv);

}  // namespace OSTREL::Platform
