// Loads a Shared.dat image, writes the entries out and loads them again: nothing is lost.
#include <string_view>

#include "engine/files/SharedDatFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto entries =
      P2P::Shared::File::ReadSharedDatText({reinterpret_cast<const char*>(data), size});
  const auto reloaded =
      P2P::Shared::File::ReadSharedDatText(P2P::Shared::File::WriteSharedDatText(entries));
  if (reloaded.size() != entries.size()) __builtin_trap();
  return 0;
}
