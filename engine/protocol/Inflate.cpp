#include "engine/protocol/Inflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace P2P::Protocol {

// One inflate pass with a buffer that grows as needed. Re-running a one-shot uncompress on a
// buffer 4096 bytes larger each time would cost time quadratic in the output, which a small
// hostile packet could exploit; the output is the same.
bool InflatePacked(std::span<const uint8_t> packed, std::vector<uint8_t>& out, size_t maxSize) {
  out.clear();
  if (packed.size() > UINT_MAX) return false;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(packed.data());
  stream.avail_in = static_cast<uInt>(packed.size());

  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (stream.avail_out == 0) {
      const size_t produced = out.size();
      if (produced >= maxSize) break;
      out.resize(std::min(produced + kInflateStep, maxSize));
      stream.next_out = out.data() + produced;
      stream.avail_out = static_cast<uInt>(out.size() - produced);
    }
    status = inflate(&stream, Z_NO_FLUSH);
    if (status == Z_BUF_ERROR && stream.avail_out != 0) break;  // input ended early
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) break;
  }
  const size_t total = stream.total_out;
  inflateEnd(&stream);
  if (status != Z_STREAM_END) {
    out.clear();
    return false;
  }
  out.resize(total);
  return true;
}

}  // namespace P2P::Protocol
