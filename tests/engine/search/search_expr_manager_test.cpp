#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/search/SearchExprManager.h"

namespace P2P::Shared::Search::SearchParam {
namespace {

CTARNNetSearchExprManager& Manager() {
  CTARNNetSearchExprManager* manager = CTARNNetSearchExprManager::GetInstance();
  EXPECT_NE(manager, nullptr);
  EXPECT_EQ(manager, CTARNNetSearchExprManager::GetInstance());
  return *manager;
}

_tagStructSearchParams Params(std::string expression) {
  _tagStructSearchParams params;
  params.expression = std::move(expression);
  return params;
}

const std::vector<uint8_t> kHeader = {0xE3, 0x16};

TEST(SearchExprManager, AppendsBodyAndKeepsExpression) {
  std::vector<uint8_t> body = kHeader;
  ASSERT_TRUE(Manager().BuildSearchBody(Params("a OR b"), body));
  EXPECT_EQ(body, (std::vector<uint8_t>{0xE3, 0x16, 0x00, 0x01, 0x01, 0x01, 0x00, 'a', 0x01, 0x01,
                                        0x00, 'b'}));
  EXPECT_EQ(FormatExprList(Manager().GetExpression()), "OR a b");
}

TEST(SearchExprManager, HashIsSentAsOneTerm) {
  const std::string hash = "ed2k::0123456789ABCDEF0123456789abcdef";
  std::vector<uint8_t> body;
  ASSERT_TRUE(Manager().BuildSearchBody(Params(hash), body));
  std::vector<uint8_t> expected = {0x01, 38, 0x00};
  expected.insert(expected.end(), hash.begin(), hash.end());
  EXPECT_EQ(body, expected);
}

TEST(SearchExprManager, FailureLeavesBodyAndClearsExpression) {
  for (const std::string text : {"", "NOT a", "(a", "\"open"}) {
    SCOPED_TRACE(text);
    std::vector<uint8_t> earlier;
    ASSERT_TRUE(Manager().BuildSearchBody(Params("earlier"), earlier));
    std::vector<uint8_t> body = kHeader;
    EXPECT_FALSE(Manager().BuildSearchBody(Params(text), body));
    EXPECT_EQ(body, kHeader);
    EXPECT_TRUE(Manager().GetExpression().empty());
  }
}

TEST(SearchExprManager, BodyThatCannotGrowIsDiscarded) {
  _tagStructSearchParams params = Params("alpha beta gamma");
  params.minSize = 5;
  std::vector<uint8_t> body = kHeader;
  EXPECT_FALSE(Manager().BuildSearchBody(params, body, kHeader.size() + 20));
  EXPECT_EQ(body, kHeader);
  EXPECT_TRUE(Manager().BuildSearchBody(params, body, kHeader.size() + 64));
}

}  // namespace
}  // namespace P2P::Shared::Search::SearchParam
