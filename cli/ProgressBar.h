// One line of progress: a bar of a given width, filled in proportion, and the percentage
// ("[#########...........]  45.2%"). Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace tarn::cli {

// Per mille of `done` over `total`, 0 for an empty total and at most 1000.
unsigned PerMille(uint64_t done, uint64_t total);

// The bar with its brackets, `width` characters in all (at least 3).
std::string ProgressBar(uint64_t done, uint64_t total, unsigned width);

// "45.2%".
std::string Percent(uint64_t done, uint64_t total);

}  // namespace tarn::cli
