// `tarnshell ui [--port N] [--no-open]`: serves the page on 127.0.0.1, prints its address
// (with the per-launch token) and opens it in the desktop's browser, until SIGINT or SIGTERM.
// Runs on the program's main thread.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::shell::ui {

// The exit status: 0 after a clean stop, 2 for bad usage, 1 when the server cannot start.
// `openAt` names what the browser opens on ("search": the results with the search band).
int RunUiCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                 const std::atomic<bool>& interrupted, std::string_view openAt = {});

}  // namespace tarn::shell::ui
