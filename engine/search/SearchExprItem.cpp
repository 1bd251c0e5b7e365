#include "engine/search/SearchExprItem.h"

#include <utility>

namespace P2P::Shared::Search::SearchParam {

CSearchExprItem CSearchExprItem::Operator(ESearchOperator op) {
  return CSearchExprItem{true, op, OperatorName(op)};
}

CSearchExprItem CSearchExprItem::Term(std::string text) {
  return CSearchExprItem{false, ESearchOperator::kAnd, std::move(text)};
}

const char* OperatorName(ESearchOperator op) {
  switch (op) {
    case ESearchOperator::kAnd:
      return "AND";
    case ESearchOperator::kOr:
      return "OR";
    case ESearchOperator::kNot:
      return "NOT";
  }
  return "AND";
}

bool IsWellFormed(const CSearchExprList& list) {
  size_t open = 1;  // operands still expected
  for (const CSearchExprItem& item : list) {
    if (open == 0) return false;
    if (item.isOperator)
      ++open;
    else
      --open;
  }
  return open == 0;
}

std::string FormatExprList(const CSearchExprList& list) {
  std::string text;
  for (const CSearchExprItem& item : list) {
    if (!text.empty()) text += ' ';
    text += item.text;
  }
  return text;
}

}  // namespace P2P::Shared::Search::SearchParam
