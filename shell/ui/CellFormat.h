// The texts of the folders' cells, formatted as the desktop side always showed them: sizes in
// B, KB, MB, GB or TB (each unit taking over at 1000 of the smaller one), percentages cut
// rather than rounded, counts grouped by thousands. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace tarn::shell::ui {

// `bytes` with `decimals` decimals; with none, the value is rounded up to a whole number and
// anything below 1024 bytes counts in KB ("1 KB", "0 KB").
std::string SizeText(uint64_t bytes, int decimals);

// `part` of `whole` in percent with `decimals` decimals, cut (not rounded); empty when
// `whole` is 0.
std::string PercentText(uint64_t part, uint64_t whole, int decimals);

// The count with "," between groups of three digits.
std::string NumberText(uint64_t value);

// "128 KBits/Sec"; empty for 0.
std::string BitrateText(uint32_t kbits);

// "%d(%d)": sources and complete sources.
std::string NodesText(uint32_t nodes, uint32_t completeNodes);

}  // namespace tarn::shell::ui
