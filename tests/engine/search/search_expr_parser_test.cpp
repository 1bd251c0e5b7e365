#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/protocol/Limits.h"
#include "engine/search/SearchExprParser.h"
#include "tests/support/CaseName.h"

namespace P2P::Shared::Search::SearchParam {
namespace {

const std::string kHex32 = "0123456789abcdefABCDEF0123456789";

std::vector<std::string> Texts(const CSearchExprList& list) {
  std::vector<std::string> texts;
  for (const CSearchExprItem& item : list) texts.push_back(item.text);
  return texts;
}

struct ParseCase {
  std::string input;
  std::vector<std::string> expected;
};

class ParseAccepts : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseAccepts, GivesPrefixList) {
  const CSearchParseResult result = CSearchExprParser::Parse(GetParam().input);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(Texts(result.list), GetParam().expected);
  EXPECT_TRUE(IsWellFormed(result.list));
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, ParseAccepts,
    ::testing::Values(
        ParseCase{"a", {"a"}}, ParseCase{"a b", {"AND", "a", "b"}},
        ParseCase{"a b c", {"AND", "AND", "a", "b", "c"}},
        ParseCase{"a b OR c", {"OR", "AND", "a", "b", "c"}},
        ParseCase{"a OR b c", {"OR", "a", "AND", "b", "c"}},
        ParseCase{"a OR b AND c", {"OR", "a", "AND", "b", "c"}},
        ParseCase{"a AND b NOT c", {"AND", "a", "NOT", "b", "c"}},
        ParseCase{"a NOT b AND c OR d", {"OR", "AND", "NOT", "a", "b", "c", "d"}},
        ParseCase{"(a OR b) AND c", {"AND", "OR", "a", "b", "c"}},
        ParseCase{"a AND (b OR c)", {"AND", "a", "OR", "b", "c"}},
        ParseCase{"a OR b OR c", {"OR", "OR", "a", "b", "c"}},
        ParseCase{"a NOT b NOT c", {"NOT", "NOT", "a", "b", "c"}},
        ParseCase{"a NOT b", {"NOT", "a", "b"}}, ParseCase{"((a))", {"a"}},
        ParseCase{"a AND(b)", {"AND", "a", "b"}}, ParseCase{"(a)OR(b)", {"OR", "a", "b"}},
        // Keywords only in upper case and as whole words.
        ParseCase{"a and b", {"AND", "AND", "a", "and", "b"}},
        ParseCase{"ANDx ORy NOTz", {"AND", "AND", "ANDx", "ORy", "NOTz"}},
        ParseCase{"Or nOT", {"AND", "Or", "nOT"}},
        // Only spaces separate: tabs and line breaks belong to the word.
        ParseCase{"  a   b  ", {"AND", "a", "b"}}, ParseCase{"a\tb\nc", {"a\tb\nc"}},
        // Quoted phrases, escapes, and phrases adjoining words.
        ParseCase{"\"a b\"", {"a b"}}, ParseCase{"x\"a b\"y", {"AND", "AND", "x", "a b", "y"}},
        ParseCase{"\"\"", {""}}, ParseCase{"\"AND\" b", {"AND", "AND", "b"}},
        ParseCase{"\"\\n\\t\\r\\a\\b\\f\\v\\\\\\\"\\'\\?\"", {"\n\t\r\a\b\f\v\\\"'?"}},
        ParseCase{"\"\\x41\\x4g\\x\\x414\"", {std::string("A\x04gxA4")}},
        ParseCase{"\"\\q(\"", {"\\q("}}, ParseCase{"\"caf\xC3\xA9\"", {"caf\xC3\xA9"}},
        // Hashes: exactly 32 digits alone is a hash term, anything else an ordinary word.
        ParseCase{"ed2k::" + kHex32, {"ed2k::" + kHex32}},
        ParseCase{"ed2k::" + kHex32.substr(1) + " a", {"AND", "ed2k::" + kHex32.substr(1), "a"}},
        ParseCase{"ed2k::" + kHex32 + "0 a", {"AND", "ed2k::" + kHex32 + "0", "a"}},
        ParseCase{"ed2k::" + kHex32 + "x a", {"AND", "ed2k::" + kHex32 + "x", "a"}},
        // A file link is searched as one phrase, even with spaces and parentheses in its name.
        ParseCase{"ed2k://|file|my (song).mp3|123|" + kHex32 + "|/",
                  {"ed2k://|file|my (song).mp3|123|" + kHex32 + "|/"}},
        ParseCase{"ed2k://|file|a b|12|" + kHex32 + "|/x",
                  {"AND", "ed2k://|file|a b|12|" + kHex32 + "|/", "x"}},
        ParseCase{"ed2k://|file|a b|12|" + kHex32.substr(1) + "|/",
                  {"AND", "ed2k://|file|a", "b|12|" + kHex32.substr(1) + "|/"}},
        ParseCase{"ed2k://|file||12|" + kHex32 + "|/", {"ed2k://|file||12|" + kHex32 + "|/"}}),
    tarn::test::IndexAndText());

struct RejectCase {
  std::string input;
  std::string error;
};

class ParseRejects : public ::testing::TestWithParam<RejectCase> {};

TEST_P(ParseRejects, WithMessage) {
  const CSearchParseResult result = CSearchExprParser::Parse(GetParam().input);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.list.empty());
  EXPECT_EQ(result.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ParseRejects,
    ::testing::Values(
        RejectCase{"", "Error expression"}, RejectCase{"   ", "Error expression"},
        RejectCase{"NOT a", "Invalid NOT expression"},
        RejectCase{"AND a", "Invalid AND expression"}, RejectCase{"OR a", "Invalid OR expression"},
        RejectCase{"a AND", "Invalid AND expression"}, RejectCase{"a OR", "Invalid OR expression"},
        RejectCase{"a NOT", "Invalid NOT expression"},
        RejectCase{"a AND OR b", "Invalid AND expression"},
        RejectCase{"(NOT a)", "Invalid NOT expression"},
        RejectCase{"a OR )", "Invalid OR expression"},
        RejectCase{"(a) b", "Invalid '(' expression"},
        RejectCase{"a (b)", "Invalid '(' expression"},
        RejectCase{"(a)(b)", "Invalid '(' expression"}, RejectCase{"()", "Invalid '(' expression"},
        RejectCase{"(a", "Invalid '(' expression"}, RejectCase{"(", "Invalid '(' expression"},
        RejectCase{"a)", "syntax error"}, RejectCase{")", "syntax error"},
        RejectCase{"(a))", "syntax error"},
        RejectCase{"ed2k::" + kHex32 + " a", "Error expression"},
        RejectCase{"a ed2k::" + kHex32, "Error expression"},
        RejectCase{"ed2k::" + kHex32 + " ed2k::" + kHex32, "Error expression"},
        RejectCase{"a OR ed2k::" + kHex32, "Invalid OR expression"},
        RejectCase{"\"abc", "Invalid Expression"}, RejectCase{"\"ab\ncd\"", "Invalid Expression"},
        RejectCase{"\"ab\\\"", "Invalid Expression"}, RejectCase{"\"ab\\", "Invalid Expression"}),
    tarn::test::IndexAndText());

std::string Nested(size_t depth) { return std::string(depth, '(') + "a" + std::string(depth, ')'); }

TEST(SearchExprParser, NestingIsBounded) {
  EXPECT_TRUE(CSearchExprParser::Parse(Nested(Protocol::kMaxSearchNestingDepth)).ok);
  const CSearchParseResult tooDeep =
      CSearchExprParser::Parse(Nested(Protocol::kMaxSearchNestingDepth + 1));
  EXPECT_FALSE(tooDeep.ok);
  EXPECT_EQ(tooDeep.error, "memory exhausted");
  EXPECT_FALSE(CSearchExprParser::Parse(std::string(Protocol::kMaxSearchExpressionLength, '(')).ok);
}

TEST(SearchExprParser, LengthIsBounded) {
  std::string longest(Protocol::kMaxSearchExpressionLength, 'a');
  EXPECT_TRUE(CSearchExprParser::Parse(longest).ok);
  const CSearchParseResult tooLong = CSearchExprParser::Parse(longest + "a");
  EXPECT_FALSE(tooLong.ok);
  EXPECT_EQ(tooLong.error, "memory exhausted");
}

}  // namespace
}  // namespace P2P::Shared::Search::SearchParam
