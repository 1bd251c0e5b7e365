// Text for a terminal. Names, server names and messages come from the network and may carry
// escape sequences that clear the screen, recolour it or retitle the window; every text `tarn`
// prints for people passes through ForTerminal, and columns are measured in the cells a
// terminal gives each character. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarn::cli {

// `text` with every character a terminal would act on instead of showing replaced by '?':
// C0 and C1 controls (ESC, BEL, CSI, ...), DEL, the bidirectional overrides that reorder what
// follows, and bytes that are not UTF-8.
std::string ForTerminal(std::string_view text);

// The cells `text` takes on a terminal: East Asian wide characters two, combining marks none.
// For text that went through ForTerminal.
size_t CellWidth(std::string_view text);

// ForTerminal(text) in exactly `width` cells: cut with a final '~' when longer, padded with
// blanks when shorter.
std::string FitName(std::string_view text, size_t width);

}  // namespace tarn::cli
