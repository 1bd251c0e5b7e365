#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/search/SearchExprParser.h"
#include "engine/search/SearchTreeEncoder.h"
#include "tests/support/FileSizes.h"
#include "tests/support/TestSearchIndex.h"

namespace P2P::Shared::Search::SearchParam {
namespace {

// Expected bodies are spelled out byte by byte; text pieces are expanded to their bytes.
struct Bytes {
  std::vector<uint8_t> value;
  Bytes(std::initializer_list<uint8_t> bytes) : value(bytes) {}
  Bytes(const char* text) : Bytes(std::string_view(text)) {}
  Bytes(std::string_view text) : value(text.begin(), text.end()) {}
};

std::vector<uint8_t> Join(std::initializer_list<Bytes> parts) {
  std::vector<uint8_t> out;
  for (const Bytes& part : parts) out.insert(out.end(), part.value.begin(), part.value.end());
  return out;
}

std::vector<uint8_t> Encode(const _tagStructSearchParams& params) {
  const CSearchParseResult parsed = CSearchExprParser::Parse(params.expression);
  EXPECT_TRUE(parsed.ok) << parsed.error;
  std::vector<uint8_t> body;
  Protocol::CStreamWriter writer(body);
  EXPECT_TRUE(EncodeSearchTree(parsed.list, params, writer));
  return body;
}

_tagStructSearchParams Params(std::string expression, int32_t mode = 0) {
  _tagStructSearchParams params;
  params.expression = std::move(expression);
  params.mode = mode;
  return params;
}

struct EncodeCase {
  const char* name;
  _tagStructSearchParams params;
  std::vector<uint8_t> expected;
};

std::vector<EncodeCase> Cases() {
  std::vector<EncodeCase> cases;
  cases.push_back({"OneWordIsOneTerm", Params("abc"), Join({{0x01, 0x03, 0x00}, "abc"})});
  cases.push_back({"Juxtaposed", Params("a b"),
                   Join({{0x00, 0x00, 0x01, 0x01, 0x00}, "a", {0x01, 0x01, 0x00}, "b"})});
  cases.push_back({"Or", Params("a OR b"),
                   Join({{0x00, 0x01, 0x01, 0x01, 0x00}, "a", {0x01, 0x01, 0x00}, "b"})});
  cases.push_back({"Not", Params("a NOT b"),
                   Join({{0x00, 0x02, 0x01, 0x01, 0x00}, "a", {0x01, 0x01, 0x00}, "b"})});
  cases.push_back({"QuotedOperatorIsATerm", Params("\"AND\" b"),
                   Join({{0x00, 0x00, 0x01, 0x03, 0x00}, "AND", {0x01, 0x01, 0x00}, "b"})});

  auto minSize = [](int32_t mode) {
    _tagStructSearchParams p = Params("a", mode);
    p.minSize = 100;
    return p;
  };
  cases.push_back({"MinSizeMode0IsInclusive", minSize(0),
                   Join({{0x00, 0x00, 0x01, 0x01, 0x00},
                         "a",
                         {0x03, 99, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x02}})});
  cases.push_back({"MinSizeMode2IsUnchanged", minSize(2),
                   Join({{0x00, 0x00, 0x01, 0x01, 0x00},
                         "a",
                         {0x03, 100, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x02}})});

  // One term and three constraints: each AND precedes the item it joins to the rest.
  _tagStructSearchParams typed = Params("a", 1);
  typed.fileType = "Audio";
  typed.minSize = 100;
  typed.maxSize = 200;
  cases.push_back({"SingleTermChainsConstraints", typed,
                   Join({{0x00, 0x00, 0x01, 0x01, 0x00},
                         "a",
                         {0x00, 0x00, 0x02, 0x05, 0x00},
                         "Audio",
                         {0x01, 0x00, 0x03},
                         {0x00, 0x00, 0x03, 99, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x02},
                         {0x03, 201, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x02}})});

  // A longer expression: all ANDs first, then the expression, then the constraints.
  auto media = [](int32_t mode) {
    _tagStructSearchParams p = Params("a b", mode);
    p.bitrate = 128;
    p.codec = "xvid";
    return p;
  };
  cases.push_back({"NamedMediaTagsMode0", media(0),
                   Join({{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00},
                         "a",
                         {0x01, 0x01, 0x00},
                         "b",
                         {0x03, 127, 0x00, 0x00, 0x00, 0x01, 0x07, 0x00},
                         "bitrate",
                         {0x02, 0x04, 0x00},
                         "xvid",
                         {0x05, 0x00},
                         "codec"})});
  cases.push_back({"OneByteMediaTagsMode2", media(2),
                   Join({{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00},
                         "a",
                         {0x01, 0x01, 0x00},
                         "b",
                         {0x03, 128, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0xD4},
                         {0x02, 0x04, 0x00},
                         "xvid",
                         {0x01, 0x00, 0xD5}})});

  _tagStructSearchParams widest = Params("a", 0);
  widest.maxSize = 0xFFFFFFFF;
  cases.push_back({"UpperBoundSaturates", widest,
                   Join({{0x00, 0x00, 0x01, 0x01, 0x00},
                         "a",
                         {0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x01, 0x00, 0x02}})});

  // A bound above 32 bits is a 64-bit value (0x08); the inclusive adjustment applies to it too.
  _tagStructSearchParams large = Params("a", 2);
  large.minSize = uint64_t{1} << 32;
  cases.push_back({"SizeAbove32BitsIs64Bit", large,
                   Join({{0x00, 0x00, 0x01, 0x01, 0x00},
                         "a",
                         {0x08, 0, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0x01, 0x00, 0x02}})});
  large.mode = 0;
  large.minSize = (uint64_t{1} << 32) + 1;
  cases.push_back({"SizeAbove32BitsMode0IsInclusive", large,
                   Join({{0x00, 0x00, 0x01, 0x01, 0x00},
                         "a",
                         {0x08, 0, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0x01, 0x00, 0x02}})});

  _tagStructSearchParams all = Params("x", 3);
  all.fileType = "Video";
  all.minSize = 1;
  all.maxSize = 2;
  all.sources = 3;
  all.format = "avi";
  all.completeSources = 4;
  all.bitrate = 5;
  all.length = 6;
  all.codec = "c";
  all.title = "t";
  all.album = "l";
  all.artist = "r";
  cases.push_back({"EveryConstraintInOrder", all,
                   Join({{0x00, 0x00, 0x01, 0x01, 0x00},
                         "x",
                         {0x00, 0x00, 0x02, 0x05, 0x00},
                         "Video",
                         {0x01, 0x00, 0x03},
                         {0x00, 0x00, 0x03, 0x01, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x02},
                         {0x00, 0x00, 0x03, 0x02, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x02},
                         {0x00, 0x00, 0x03, 0x03, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x15},
                         {0x00, 0x00, 0x02, 0x03, 0x00},
                         "avi",
                         {0x01, 0x00, 0x04},
                         {0x00, 0x00, 0x03, 0x04, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x30},
                         {0x00, 0x00, 0x03, 0x05, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0xD4},
                         {0x00, 0x00, 0x03, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0xD3},
                         {0x00, 0x00, 0x02, 0x01, 0x00},
                         "c",
                         {0x01, 0x00, 0xD5},
                         {0x00, 0x00, 0x02, 0x01, 0x00},
                         "t",
                         {0x01, 0x00, 0xD2},
                         {0x00, 0x00, 0x02, 0x01, 0x00},
                         "l",
                         {0x01, 0x00, 0xD1},
                         {0x02, 0x01, 0x00},
                         "r",
                         {0x01, 0x00, 0xD0}})});

  _tagStructSearchParams names = Params("x", 1);
  names.length = 60;
  names.title = "t";
  names.album = "l";
  names.artist = "r";
  names.sources = 5;
  names.completeSources = 3;
  cases.push_back({"NamedTagsAndInclusiveCountsMode1", names,
                   Join({{0x00, 0x00, 0x01, 0x01, 0x00},
                         "x",
                         {0x00, 0x00, 0x03, 0x04, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x15},
                         {0x00, 0x00, 0x03, 0x02, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x30},
                         {0x00, 0x00, 0x03, 59, 0x00, 0x00, 0x00, 0x01, 0x06, 0x00},
                         "length",
                         {0x00, 0x00, 0x02, 0x01, 0x00},
                         "t",
                         {0x05, 0x00},
                         "Title",
                         {0x00, 0x00, 0x02, 0x01, 0x00},
                         "l",
                         {0x05, 0x00},
                         "Album",
                         {0x02, 0x01, 0x00},
                         "r",
                         {0x06, 0x00},
                         "Artist"})});
  return cases;
}

TEST(SearchTreeEncoder, MatchesHandWrittenBodies) {
  for (const EncodeCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Encode(c.params), c.expected);
  }
}

// Size bounds around the small-file size and 32 bits read back by the test server's decoder
// with the value sent, in the 32-bit form while it fits.
TEST(SearchTreeEncoder, SizeBoundsRoundTripAroundAndBeyond32Bits) {
  for (const uint64_t size : tarn::test::kSizesAround32Bits) {
    _tagStructSearchParams params = Params("a", 2);
    params.minSize = size;
    params.maxSize = size;
    const std::vector<uint8_t> body = Encode(params);
    const auto tree = tarn::test::DecodeSearchTree(body);
    ASSERT_TRUE(tree) << size;
    const std::string bound = std::to_string(size);
    EXPECT_EQ(tarn::test::DescribeSearchTree(*tree),
              "AND(a,AND(#2>" + bound + ",#2<" + bound + "))");
    EXPECT_EQ(body[8], size > 0xFFFFFFFF ? 0x08 : 0x03) << size;
  }
}

TEST(SearchTreeEncoder, RefusesWhatItCannotWrite) {
  std::vector<uint8_t> body;
  Protocol::CStreamWriter writer(body);
  const _tagStructSearchParams plain = Params("a");
  EXPECT_FALSE(EncodeSearchTree({}, plain, writer));
  EXPECT_FALSE(EncodeSearchTree({CSearchExprItem::Operator(ESearchOperator::kOr)}, plain, writer));
  EXPECT_FALSE(
      EncodeSearchTree({CSearchExprItem::Term("a"), CSearchExprItem::Term("b")}, plain, writer));

  _tagStructSearchParams huge = Params("a");
  huge.title = std::string(0x10000, 't');
  EXPECT_FALSE(EncodeSearchTree({CSearchExprItem::Term("a")}, huge, writer));
  huge.title.pop_back();
  EXPECT_TRUE(EncodeSearchTree({CSearchExprItem::Term("a")}, huge, writer));
}

}  // namespace
}  // namespace P2P::Shared::Search::SearchParam
