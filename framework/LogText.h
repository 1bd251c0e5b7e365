// Texts that came from servers and peers are data, not log lines: before such a text goes into
// a log line its control characters are spelled out, so that a name or a server message holding
// a line break, a NUL or a terminal escape sequence cannot end the line, forge another one or
// drive the terminal that shows the log. Pure function; any thread.
#pragma once

#include <string>
#include <string_view>

namespace OSTREL {

// `text` with every control character written as an escape: "\r", "\n", "\t", "\\" for a
// backslash, "\xNN" for the other C0 controls, DEL and bytes that are not valid UTF-8, and
// "\uNNNN" for the C1 controls and the Unicode line and paragraph separators. Everything else,
// valid UTF-8 beyond ASCII included, is kept as it is.
std::string EscapeForLog(std::string_view text);

}  // namespace OSTREL
