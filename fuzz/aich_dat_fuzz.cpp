// Reads an AICH.dat image, writes the entries out and reads them again: nothing is lost.
#include <list>
#include <string_view>

#include "engine/library/AICHDatStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<P2P::Shared::File::_tagStructAICHDatEntry> entries;
  if (!P2P::Shared::File::ReadAICHDatText({reinterpret_cast<const char*>(data), size}, entries))
    return 0;
  const std::list<P2P::Shared::File::_tagStructAICHDatEntry> kept(entries.begin(), entries.end());
  std::vector<P2P::Shared::File::_tagStructAICHDatEntry> reread;
  if (!P2P::Shared::File::ReadAICHDatText(P2P::Shared::File::WriteAICHDatText(kept), reread) ||
      reread.size() != entries.size())
    __builtin_trap();
  return 0;
}
