// One element of a parsed search expression in prefix order: an operator, or a term with the
// bytes to search for. The kind travels with the text so that a quoted phrase reading "AND"
// stays a term. Plain value type; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace P2P::Shared::Search::SearchParam {

// The values are the operator bytes of the search tree.
enum class ESearchOperator : uint8_t { kAnd = 0, kOr = 1, kNot = 2 };

struct CSearchExprItem {
  bool isOperator = false;
  ESearchOperator op = ESearchOperator::kAnd;  // meaningful when isOperator
  std::string text;                            // the operator's name, or the term's bytes

  static CSearchExprItem Operator(ESearchOperator op);
  static CSearchExprItem Term(std::string text);

  bool operator==(const CSearchExprItem&) const = default;
};

using CSearchExprList = std::vector<CSearchExprItem>;

// True when the list is one complete prefix expression: every operator has two operands.
bool IsWellFormed(const CSearchExprList& list);

// "AND", "OR" or "NOT".
const char* OperatorName(ESearchOperator op);

// The list as space-separated text ("OR AND a b c"), for logs and tests.
std::string FormatExprList(const CSearchExprList& list);

}  // namespace P2P::Shared::Search::SearchParam
