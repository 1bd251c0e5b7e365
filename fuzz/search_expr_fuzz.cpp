// Any byte string through the expression parser and the search-tree encoder: no crash, no
// hang, and every accepted expression encodes as a complete prefix tree.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "engine/search/SearchExprParser.h"
#include "engine/search/SearchTreeEncoder.h"

using namespace P2P::Shared::Search::SearchParam;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  _tagStructSearchParams params;
  params.expression.assign(reinterpret_cast<const char*>(data), size);
  params.mode = size % 3;
  // Size bounds on both sides of 32 bits (the 32-bit and the 64-bit value forms).
  constexpr uint64_t kMinSizes[] = {0, 0xFFFFFFFF, uint64_t{1} << 32, uint64_t{256} << 30};
  constexpr uint64_t kMaxSizes[] = {0, 4290048001, uint64_t{5} << 30, ~uint64_t{0}};
  params.minSize = kMinSizes[size % 4];
  params.maxSize = kMaxSizes[size / 4 % 4];
  params.codec = size % 5 ? "" : "xvid";
  const CSearchParseResult parsed = CSearchExprParser::Parse(params.expression);
  if (!parsed.ok) return 0;
  std::vector<uint8_t> body;
  P2P::Protocol::CStreamWriter writer(body);
  if (!IsWellFormed(parsed.list) || !EncodeSearchTree(parsed.list, params, writer)) std::abort();
  return 0;
}
