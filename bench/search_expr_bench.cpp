// Parse and encode cost of a long typed expression: 200 words joined by juxtaposition,
// AND, OR and NOT, in nested groups, plus a full set of constraints.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/search/SearchExprParser.h"
#include "engine/search/SearchTreeEncoder.h"

using namespace P2P::Shared::Search::SearchParam;

namespace {

std::string LongExpression() {
  static const char* const kJoins[] = {" ", " AND ", " OR ", " NOT "};
  std::string text = "(";
  for (int i = 0; i < 200; ++i) {
    if (i > 0) text += (i % 10 == 0) ? ") OR (" : kJoins[i % 4];
    text += "word" + std::to_string(i);
  }
  return text + ")";
}

_tagStructSearchParams LongParams() {
  _tagStructSearchParams params;
  params.expression = LongExpression();
  params.fileType = "Video";
  params.minSize = 1 << 20;
  params.maxSize = 700u << 20;
  params.sources = 3;
  params.format = "avi";
  params.bitrate = 128;
  params.codec = "xvid";
  params.title = "title";
  return params;
}

void BM_ParseAndEncode(benchmark::State& state) {
  const _tagStructSearchParams params = LongParams();
  std::vector<uint8_t> body;
  body.reserve(8192);
  for (auto _ : state) {
    body.clear();
    const CSearchParseResult parsed = CSearchExprParser::Parse(params.expression);
    P2P::Protocol::CStreamWriter writer(body);
    if (!parsed.ok || !EncodeSearchTree(parsed.list, params, writer))
      state.SkipWithError("expression rejected");
    benchmark::DoNotOptimize(body.data());
  }
  state.counters["bytes_in"] = static_cast<double>(params.expression.size());
  state.counters["bytes_out"] = static_cast<double>(body.size());
}
BENCHMARK(BM_ParseAndEncode);

}  // namespace
