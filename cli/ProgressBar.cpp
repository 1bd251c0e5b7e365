#include "cli/ProgressBar.h"

#include <algorithm>

namespace tarn::cli {

unsigned PerMille(uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  done = std::min(done, total);
  // In two steps, so sizes near 2^64 do not overflow.
  const unsigned __int128 scaled = static_cast<unsigned __int128>(done) * 1000u;
  return static_cast<unsigned>(scaled / total);
}

std::string ProgressBar(uint64_t done, uint64_t total, unsigned width) {
  width = std::max(width, 3u);
  const unsigned inner = width - 2;
  const unsigned filled = PerMille(done, total) * inner / 1000;
  return "[" + std::string(filled, '#') + std::string(inner - filled, '.') + "]";
}

std::string Percent(uint64_t done, uint64_t total) {
  const unsigned perMille = PerMille(done, total);
  return std::to_string(perMille / 10) + "." + std::to_string(perMille % 10) + "%";
}

}  // namespace tarn::cli
