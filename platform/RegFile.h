// The text form of one root hive, as a registry export file: the header line "Windows Registry
// Editor Version 5.00", then [KEY] sections with "Name"="text", dword:, hex: and hex(N):
// values. Parsing never fails on bad input: lines it cannot read are skipped and counted.
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/RegistryHive.h"

namespace OSTREL::Platform {

inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

struct RegParseResult {
  bool isRegFile = false;   // the header line was there
  size_t skippedLines = 0;  // lines that did not parse (each logged with its number)
};

// Fills `hive` from `text`. Sections naming another root hive are skipped. `sourceName`
// names the file in warnings; pass an empty name to parse without logging (fuzzing).
RegParseResult ParseRegFile(std::string_view text, CRegHive& hive, std::string_view sourceName);

// The whole file for `hive`: header, blank line, one section per key (sorted by name, a key
// before its sub-keys), values in their stored order.
std::string FormatRegFile(const CRegHive& hive);

}  // namespace OSTREL::Platform
