// Reads an offer list as a search answer carries it; whatever reads must write and read back
// to the same records, and no record holds a size above the largest file.
#include <span>

#include "engine/library/OfferRecord.h"
#include "engine/protocol/Limits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  P2P::Protocol::CStreamReader reader(std::span<const uint8_t>(data, size));
  const auto records = P2P::Shared::File::ReadOfferList(reader);
  if (!records) return 0;
  for (const auto& record : *records) {
    if (record.info.size > P2P::Protocol::kMaxFileSize) __builtin_trap();  // refused, never cut
    std::vector<uint8_t> bytes;
    P2P::Protocol::CStreamWriter writer(bytes);
    if (!P2P::Shared::File::WriteOfferRecord(writer, record, {true, false})) continue;
    P2P::Protocol::CStreamReader again(bytes);
    const auto reread = P2P::Shared::File::ReadOfferRecord(again);
    if (!reread || reread->info.name != record.info.name || reread->info.size != record.info.size)
      __builtin_trap();
  }
  return 0;
}
