// Reads a download's metadata file, writes what it read and reads that again: nothing changes,
// and whatever was accepted fits the file.
#include <string_view>

#include "engine/download/DownloadMetadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace P2P::Shared::File::TransferFile;
  const auto read = ReadDownloadMetadataText({reinterpret_cast<const char*>(data), size});
  if (!read) return 0;
  if (read->required.Total() > read->info.size) __builtin_trap();
  const auto again = ReadDownloadMetadataText(WriteDownloadMetadataText(*read));
  if (!again || again->hash != read->hash || again->info != read->info ||
      again->required.Size() != read->required.Size())
    __builtin_trap();
  return 0;
}
