#include "engine/search/SearchExprParser.h"

#include <utility>

#include "engine/protocol/Limits.h"

namespace P2P::Shared::Search::SearchParam {
namespace {

constexpr const char* kErrorExpression = "Error expression";
constexpr const char* kInvalidGroup = "Invalid '(' expression";
constexpr const char* kSyntaxError = "syntax error";
constexpr const char* kMemoryExhausted = "memory exhausted";

// Chain levels from loosest to tightest; below the last comes a primary.
struct CChainLevel {
  ESearchToken token;
  ESearchOperator op;
};
constexpr CChainLevel kChainLevels[] = {
    {ESearchToken::kOr, ESearchOperator::kOr},
    {ESearchToken::kAnd, ESearchOperator::kAnd},
    {ESearchToken::kNot, ESearchOperator::kNot},
};
constexpr int kChainLevelCount = 3;

bool IsOperator(ESearchToken kind) {
  return kind == ESearchToken::kOr || kind == ESearchToken::kAnd || kind == ESearchToken::kNot;
}

bool StartsOperand(ESearchToken kind) {
  return kind == ESearchToken::kString || kind == ESearchToken::kOpen;
}

std::string InvalidOperator(ESearchToken kind) {
  const char* name = kind == ESearchToken::kOr ? "OR" : kind == ESearchToken::kAnd ? "AND" : "NOT";
  return std::string("Invalid ") + name + " expression";
}

// n operands of one operator, already in `out` from `start`, become n-1 operators and then
// the operands: the prefix form of a left-associative chain.
void PrefixOperators(CSearchExprList& out, size_t start, size_t operands, ESearchOperator op) {
  if (operands < 2) return;
  out.insert(out.begin() + static_cast<std::ptrdiff_t>(start), operands - 1,
             CSearchExprItem::Operator(op));
}

}  // namespace

CSearchParseResult CSearchExprParser::Parse(std::string_view text) {
  CSearchParseResult result;
  if (text.size() > Protocol::kMaxSearchExpressionLength) {
    result.error = kMemoryExhausted;
    return result;
  }
  std::vector<CSearchToken> tokens;
  CSearchExprScanner scanner(text);
  for (;;) {
    CSearchToken token = scanner.Next();
    if (token.kind == ESearchToken::kError) {
      result.error = scanner.Error();
      return result;
    }
    const bool end = token.kind == ESearchToken::kEnd;
    tokens.push_back(std::move(token));
    if (end) break;
  }

  CSearchExprParser parser(std::move(tokens));
  CSearchExprList list;
  if (!parser.ParseInput(list)) {
    result.error = parser.error_;
    return result;
  }
  result.ok = true;
  result.list = std::move(list);
  return result;
}

bool CSearchExprParser::ParseInput(CSearchExprList& out) {
  if (Peek() == ESearchToken::kEnd) return Fail(kErrorExpression);
  if (Peek() == ESearchToken::kHash) {
    CSearchToken hash = Advance();
    if (Peek() != ESearchToken::kEnd) return Fail(kErrorExpression);
    out.push_back(CSearchExprItem::Term(std::move(hash.text)));
    return true;
  }
  if (!ParseChain(0, out, 0)) return false;
  if (Peek() == ESearchToken::kEnd) return true;
  return Fail(kSyntaxError);  // only an unmatched ')' stops a chain before the end
}

bool CSearchExprParser::ParseChain(int level, CSearchExprList& out, size_t depth) {
  if (level == kChainLevelCount) return ParsePrimary(out, depth);
  const CChainLevel& chain = kChainLevels[level];
  const size_t start = out.size();
  size_t operands = 0;
  do {
    if (operands > 0) {
      Advance();  // the operator
      if (!StartsOperand(Peek())) return Fail(InvalidOperator(chain.token));
    }
    if (!ParseChain(level + 1, out, depth)) return false;
    ++operands;
  } while (Peek() == chain.token);
  PrefixOperators(out, start, operands, chain.op);
  return true;
}

bool CSearchExprParser::ParsePrimary(CSearchExprList& out, size_t depth) {
  const ESearchToken kind = Peek();
  if (kind == ESearchToken::kString) return ParseTerm(out) && CheckAfterOperand();
  if (kind == ESearchToken::kOpen) return ParseGroup(out, depth) && CheckAfterOperand();
  if (IsOperator(kind)) return Fail(InvalidOperator(kind));  // no left operand
  if (kind == ESearchToken::kHash) return Fail(kErrorExpression);
  if (kind == ESearchToken::kClose) return Fail(kSyntaxError);
  return Fail(kErrorExpression);
}

bool CSearchExprParser::ParseGroup(CSearchExprList& out, size_t depth) {
  if (depth + 1 > Protocol::kMaxSearchNestingDepth) return Fail(kMemoryExhausted);
  Advance();  // '('
  if (!StartsOperand(Peek()) && !IsOperator(Peek())) return Fail(kInvalidGroup);
  if (!ParseChain(0, out, depth + 1)) return false;
  if (Peek() != ESearchToken::kClose) return Fail(kInvalidGroup);
  Advance();
  return true;
}

bool CSearchExprParser::ParseTerm(CSearchExprList& out) {
  const size_t start = out.size();
  size_t words = 0;
  while (Peek() == ESearchToken::kString) {
    out.push_back(CSearchExprItem::Term(std::move(tokens_[next_].text)));
    ++next_;
    ++words;
  }
  PrefixOperators(out, start, words, ESearchOperator::kAnd);
  return true;
}

// Only words may be juxtaposed: a group followed by a word or a group, a word followed by a
// group, or a hash anywhere inside an expression ends the parse.
bool CSearchExprParser::CheckAfterOperand() {
  const ESearchToken kind = Peek();
  if (StartsOperand(kind)) return Fail(kInvalidGroup);
  if (kind == ESearchToken::kHash) return Fail(kErrorExpression);
  return true;
}

bool CSearchExprParser::Fail(std::string message) {
  error_ = std::move(message);
  return false;
}

}  // namespace P2P::Shared::Search::SearchParam
