// The help of `tarn` and of each sub-command. Pure; any thread.
#pragma once

#include <string>

namespace tarn::cli {

std::string MainHelp();
// Empty for an unknown sub-command.
std::string CommandHelp(const std::string& command);

}  // namespace tarn::cli
