#include "shell/ui/CellFormat.h"

#include <cmath>
#include <cstdio>

namespace tarn::shell::ui {
namespace {

constexpr uint64_t kKilo = 1024;
constexpr uint64_t kMega = 1048576;
constexpr uint64_t kGiga = 1073741824;
constexpr uint64_t kTera = 1099511627776;

std::string Printed(double value, int decimals, const char* unit) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f %s", decimals, value, unit);
  return text;
}

}  // namespace

std::string SizeText(uint64_t bytes, int decimals) {
  decimals = decimals < 0 ? 0 : decimals;
  double value = 0;
  const char* unit = "KB";
  if (bytes < kKilo) {
    if (decimals > 0) return Printed(static_cast<double>(bytes), 0, "B");
    value = static_cast<double>(bytes) / kKilo;
  } else if (bytes < 1000 * kKilo) {
    value = static_cast<double>(bytes) / kKilo;
  } else if (bytes < 1000 * kMega) {
    value = static_cast<double>(bytes) / kMega;
    unit = "MB";
  } else if (bytes < 1000 * kGiga) {
    value = static_cast<double>(bytes) / kGiga;
    unit = "GB";
  } else {
    value = static_cast<double>(bytes) / kTera;
    unit = "TB";
  }
  if (decimals == 0) value = std::ceil(value);
  return Printed(value, decimals, unit);
}

std::string PercentText(uint64_t part, uint64_t whole, int decimals) {
  if (whole == 0) return {};
  decimals = decimals < 0 ? 0 : (decimals > 6 ? 6 : decimals);
  uint64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  // Whole numbers first, so the cut is exact: 2/3 with 2 decimals is 66.66, never 66.67.
  const unsigned __int128 scaled = static_cast<unsigned __int128>(part) * 100 * scale / whole;
  const uint64_t units = static_cast<uint64_t>(scaled / scale);
  const uint64_t fraction = static_cast<uint64_t>(scaled % scale);
  char text[64];
  if (decimals == 0)
    std::snprintf(text, sizeof text, "%llu %%", static_cast<unsigned long long>(units));
  else
    std::snprintf(text, sizeof text, "%llu.%0*llu %%", static_cast<unsigned long long>(units),
                  decimals, static_cast<unsigned long long>(fraction));
  return text;
}

std::string NumberText(uint64_t value) {
  std::string digits = std::to_string(value);
  std::string grouped;
  grouped.reserve(digits.size() + digits.size() / 3);
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string BitrateText(uint32_t kbits) {
  return kbits == 0 ? std::string() : NumberText(kbits) + " KBits/Sec";
}

std::string NodesText(uint32_t nodes, uint32_t completeNodes) {
  return std::to_string(nodes) + "(" + std::to_string(completeNodes) + ")";
}

}  // namespace tarn::shell::ui
