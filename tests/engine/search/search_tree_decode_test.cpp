// The engine's search bodies, read back by the test server's own decoder and run against a
// small index: what a server would answer for each typed search.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "engine/library/OfferRecord.h"
#include "engine/search/SearchExprManager.h"
#include "tests/support/TestSearchIndex.h"

namespace P2P::Shared::Search::SearchParam {
namespace {

using tarn::test::IndexedFile;

std::vector<uint8_t> Body(const _tagStructSearchParams& params) {
  std::vector<uint8_t> body;
  EXPECT_TRUE(CTARNNetSearchExprManager::GetInstance()->BuildSearchBody(params, body))
      << params.expression;
  return body;
}

// An offer-files payload of one file, as the engine writes it.
std::vector<uint8_t> OfferPayload(const IndexedFile& file) {
  _tagStructSharedFile record;
  std::copy(file.hash.begin(), file.hash.end(), record.hash.bytes.begin());
  record.info.name = file.name;
  record.info.size = file.size;
  std::vector<uint8_t> payload;
  Protocol::CStreamWriter writer(payload);
  writer.WriteUInt32(1);
  EXPECT_TRUE(File::WriteOfferRecord(writer, record, {true, true}));
  return payload;
}

tarn::test::TestSearchIndex Index() {
  const struct {
    const char* name;
    const char* type;
    uint32_t size;
    uint32_t sources;
  } files[] = {
      {"Live Set 2024.mp3", "Audio", 5000000, 10},
      {"live-demo.ogg", "Audio", 3000000, 2},
      {"holiday film.avi", "Video", 700000000, 50},
      {"holiday photos.zip", "Arc", 20000000, 1},
      {"setup.exe", "Pro", 1000000, 5},
      {"live holiday.avi", "Video", 400000000, 3},
  };
  tarn::test::TestSearchIndex index;
  uint8_t n = 0;
  for (const auto& file : files) {
    IndexedFile indexed;
    indexed.hash.fill(++n);
    indexed.name = file.name;
    indexed.type = file.type;
    indexed.size = file.size;
    indexed.sources = file.sources;
    index.Add(indexed);
  }
  return index;
}

TEST(SearchTreeDecode, ServerFindsWhatTheExpressionAsksFor) {
  struct Case {
    _tagStructSearchParams params;
    std::set<std::string> found;
  };
  auto text = [](const char* expression) {
    _tagStructSearchParams params;
    params.expression = expression;
    return params;
  };
  auto with = [&](const char* expression, auto change) {
    _tagStructSearchParams params = text(expression);
    change(params);
    return params;
  };
  const Case cases[] = {
      {text("live"), {"Live Set 2024.mp3", "live-demo.ogg", "live holiday.avi"}},
      {text("live set"), {"Live Set 2024.mp3"}},
      {text("\"live set\""), {"Live Set 2024.mp3"}},
      {text("\"set live\""), {}},
      {text("holiday OR setup"),
       {"holiday film.avi", "holiday photos.zip", "setup.exe", "live holiday.avi"}},
      {text("holiday NOT film"), {"holiday photos.zip", "live holiday.avi"}},
      {text("live AND (demo OR holiday)"), {"live-demo.ogg", "live holiday.avi"}},
      {text("(live OR setup) NOT (demo OR avi)"), {"Live Set 2024.mp3", "setup.exe"}},
      {with("holiday", [](auto& p) { p.fileType = "Video"; }),
       {"holiday film.avi", "live holiday.avi"}},
      // Mode 0 makes bounds inclusive; other modes send them as they are.
      {with("live", [](auto& p) { p.minSize = 5000000; }),
       {"Live Set 2024.mp3", "live holiday.avi"}},
      {with("live", [](auto& p) { p.minSize = 5000000, p.mode = 2; }), {"live holiday.avi"}},
      {with("holiday", [](auto& p) { p.maxSize = 400000000; }),
       {"holiday photos.zip", "live holiday.avi"}},
      {with("live", [](auto& p) { p.format = "ogg"; }), {"live-demo.ogg"}},
      {with("live OR holiday", [](auto& p) { p.sources = 10; }),
       {"Live Set 2024.mp3", "holiday film.avi"}},
      {with("live OR holiday OR setup",
            [](auto& p) {
              p.fileType = "Video";
              p.minSize = 1000000;
              p.maxSize = 500000000;
            }),
       {"live holiday.avi"}},
  };
  const tarn::test::TestSearchIndex index = Index();
  for (const Case& c : cases) {
    const auto found = index.Search(Body(c.params));
    ASSERT_TRUE(found) << c.params.expression;
    std::set<std::string> names;
    for (const IndexedFile& file : *found) names.insert(file.name);
    EXPECT_EQ(names, c.found) << c.params.expression;
  }
}

// Size bounds above 4 GiB reach the server as 64-bit values and filter files on both sides
// of 32 bits, whose sizes the offers carried in two halves.
TEST(SearchTreeDecode, SizeBoundsAbove4GiBFilterLargeFiles) {
  tarn::test::TestSearchIndex index;
  const uint64_t sizes[] = {4290048000, 4290048001, uint64_t{1} << 32, uint64_t{5} << 30,
                            uint64_t{256} << 30};
  for (const uint64_t size : sizes) {
    IndexedFile file;
    file.hash.fill(static_cast<uint8_t>(index.Count() + 1));
    file.name = "disc " + std::to_string(size) + ".iso";
    file.size = size;
    // Indexed from an offer as a client writes it: the size's halves in two tags.
    const auto offered = tarn::test::ReadOfferedFiles(OfferPayload(file));
    ASSERT_TRUE(offered && offered->size() == 1u);
    EXPECT_EQ(offered->front().size, size);
    index.Add(offered->front());
  }
  const auto found = [&index](uint64_t minSize, uint64_t maxSize) {
    _tagStructSearchParams params;
    params.expression = "disc";
    params.minSize = minSize;
    params.maxSize = maxSize;
    std::vector<uint64_t> sizes;
    for (const IndexedFile& file : index.Search(Body(params)).value_or(std::vector<IndexedFile>{}))
      sizes.push_back(file.size);
    return sizes;
  };
  EXPECT_EQ(found(uint64_t{4} << 30, 0),
            (std::vector<uint64_t>{uint64_t{1} << 32, uint64_t{5} << 30, uint64_t{256} << 30}));
  EXPECT_EQ(found(4290048001, (uint64_t{5} << 30) - 1),
            (std::vector<uint64_t>{4290048001, uint64_t{1} << 32}));
  EXPECT_EQ(found(0, 4290048001), (std::vector<uint64_t>{4290048000, 4290048001}));
}

TEST(SearchTreeDecode, TreeShapeFollowsPrecedence) {
  const struct {
    const char* expression;
    const char* tree;
  } cases[] = {
      {"a b OR c", "OR(AND(a,b),c)"},
      {"a OR b AND c", "OR(a,AND(b,c))"},
      {"a AND b NOT c", "AND(a,NOT(b,c))"},
      {"(a OR b) c", nullptr},  // a group cannot be juxtaposed
      {"\"a b\"", "a b"},
  };
  for (const auto& c : cases) {
    _tagStructSearchParams params;
    params.expression = c.expression;
    std::vector<uint8_t> body;
    const bool built = CTARNNetSearchExprManager::GetInstance()->BuildSearchBody(params, body);
    EXPECT_EQ(built, c.tree != nullptr) << c.expression;
    if (!built) continue;
    const auto tree = tarn::test::DecodeSearchTree(body);
    ASSERT_TRUE(tree) << c.expression;
    EXPECT_EQ(tarn::test::DescribeSearchTree(*tree), c.tree);
  }
  _tagStructSearchParams sized;
  sized.expression = "a";
  sized.minSize = 100;
  sized.fileType = "Audio";
  const auto tree = tarn::test::DecodeSearchTree(Body(sized));
  ASSERT_TRUE(tree);
  EXPECT_EQ(tarn::test::DescribeSearchTree(*tree), "AND(a,AND(#3=Audio,#2>99))");
}

TEST(SearchTreeDecode, DecoderRefusesMalformedBodies) {
  const std::vector<std::vector<uint8_t>> bodies = {
      {},
      {0x00, 0x00, 0x01, 0x01, 0x00, 'a'},                         // AND with one operand
      {0x01, 0x05, 0x00, 'a'},                                     // term longer than the body
      {0x01, 0x01, 0x00, 'a', 0x01},                               // bytes left over
      {0x00, 0x03, 0x01, 0x01, 0x00, 'a', 0x01, 0x01, 0x00, 'b'},  // unknown operator
      {0x03, 1, 0, 0, 0, 1, 0x01},                                 // numeric without its tag name
  };
  for (const auto& body : bodies) EXPECT_FALSE(tarn::test::DecodeSearchTree(body));
}

}  // namespace
}  // namespace P2P::Shared::Search::SearchParam
