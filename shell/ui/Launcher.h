// Starts a desktop program (xdg-open) on a path without waiting for it and without a shell,
// so a file name is always one argument and never a command. Any thread.
#pragma once

#include <string>
#include <vector>

namespace tarn::shell::ui {

// True when the program started; its exit is reaped by a thread of its own.
bool LaunchDetached(const std::vector<std::string>& command);

}  // namespace tarn::shell::ui
