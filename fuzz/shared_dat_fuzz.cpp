// Loads a Shared.dat image, writes the entries out and loads them again: nothing is lost.
// Whatever the in-place reader accepts, the document reader reads to the same entries.
#include <string_view>

#include "engine/library/SharedDatFile.h"
#include "engine/library/SharedDatReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto entries = P2P::Shared::File::ReadSharedDatText(text);
  const auto reloaded =
      P2P::Shared::File::ReadSharedDatText(P2P::Shared::File::WriteSharedDatText(entries));
  if (reloaded.size() != entries.size()) __builtin_trap();

  std::vector<P2P::Shared::_tagStructSharedFile> inPlace;
  if (P2P::Shared::File::ReadWrittenSharedDat(
          text, [&inPlace](P2P::Shared::_tagStructSharedFile& file) { inPlace.push_back(file); })) {
    OSTREL::File::CXmlDocument document;
    if (!document.LoadText(text)) __builtin_trap();
    if (P2P::Shared::File::ReadSharedDatDocument(document) != inPlace) __builtin_trap();
  }
  return 0;
}
