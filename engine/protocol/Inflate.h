// Inflation of zlib-packed (0xD4) packet payloads into a bounded buffer. Pure function; any
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/protocol/Limits.h"

namespace P2P::Protocol {

// Inflates one zlib stream from `packed` into `out`. The output grows in kInflateStep steps;
// false when the data is not a complete zlib stream or would inflate past `maxSize`. Bytes
// after the end of the stream are ignored.
bool InflatePacked(std::span<const uint8_t> packed, std::vector<uint8_t>& out,
                   size_t maxSize = kMaxInflatedSize);

}  // namespace P2P::Protocol
