// Feeds arbitrary bytes to the registry file parser; whatever it loads must be written out
// so that it reads back the same.
#include <cstdlib>
#include <string_view>

#include "platform/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace OSTREL::Platform;
  CRegHive hive("HKEY_LOCAL_MACHINE"), again("HKEY_LOCAL_MACHINE");
  ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size), hive, "");
  ParseRegFile(FormatRegFile(hive), again, "");
  if (!(again.Root() == hive.Root())) std::abort();
  return 0;
}
