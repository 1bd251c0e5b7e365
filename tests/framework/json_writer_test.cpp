#include <gtest/gtest.h>

#include <limits>

#include "framework/JsonWriter.h"

namespace OSTREL::Util {
namespace {

TEST(JsonWriter, PlacesCommasInNestedContainers) {
  CJsonWriter json;
  json.BeginArray()
      .BeginObject().Member("key", 1).Member("name", "a").Member("ok", true).EndObject()
      .BeginObject().Key("list").BeginArray().Number(-2).Unsigned(3).Null().EndArray().EndObject()
      .BeginArray().EndArray()
      .EndArray();
  EXPECT_EQ(json.Text(),
            R"([{"key":1,"name":"a","ok":true},{"list":[-2,3,null]},[]])");
}

// JSON has no NaN or infinity; a script parsing the output must never meet them.
TEST(JsonWriter, WritesDecimalsAndNeverANonFiniteNumber) {
  CJsonWriter json;
  json.BeginArray()
      .Decimal(1.0)
      .Decimal(2.346)
      .Decimal(std::numeric_limits<double>::quiet_NaN())
      .Decimal(std::numeric_limits<double>::infinity())
      .EndArray();
  EXPECT_EQ(json.Text(), "[1.00,2.35,0.00,0.00]");
}

TEST(JsonQuote, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(JsonQuote("a\"b\\c"), R"("a\"b\\c")");
  EXPECT_EQ(JsonQuote("line\nnext\ttab\r"), R"("line\nnext\ttab\r")");
  EXPECT_EQ(JsonQuote(std::string("nul\0bell\x07" "del\x7f", 13)), R"("nul\u0000bell\u0007del\u007f")");
}

TEST(JsonQuote, KeepsWellFormedUtf8) {
  EXPECT_EQ(JsonQuote("Sm\xC3\xB8rrebr\xC3\xB8""d \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5"),
            "\"Sm\xC3\xB8rrebr\xC3\xB8""d \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5\"");
}

// Names from the network may carry any bytes; the output must still parse as JSON.
TEST(JsonQuote, ReplacesMalformedUtf8) {
  EXPECT_EQ(JsonQuote("a\xFF" "b"), R"("a\ufffdb")") << "a byte that never starts UTF-8";
  EXPECT_EQ(JsonQuote("\xC3"), R"("\ufffd")") << "a sequence cut at the end";
  EXPECT_EQ(JsonQuote("\xC3(x"), R"("\ufffd(x")") << "a lead byte without its continuation";
  EXPECT_EQ(JsonQuote("\xC0\xAF"), R"("\ufffd\ufffd")") << "an overlong slash";
  EXPECT_EQ(JsonQuote("\xED\xA0\x80"), R"("\ufffd\ufffd\ufffd")") << "a surrogate";
  EXPECT_EQ(JsonQuote("\xF4\x90\x80\x80"), R"("\ufffd\ufffd\ufffd\ufffd")") << "above U+10FFFF";
}

}  // namespace
}  // namespace OSTREL::Util
