// Feeds arbitrary bytes to the registry file parser and writes the result back out.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OSTREL::Platform::CRegHive hive("HKEY_LOCAL_MACHINE");
  OSTREL::Platform::ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size), hive,
                                 "");
  OSTREL::Platform::FormatRegFile(hive);
  return 0;
}
