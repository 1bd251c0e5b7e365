// Parses a typed search expression into prefix order. OR binds loosest, then AND, then the
// binary NOT (a NOT b: a and not b), all left-associative; juxtaposed words are joined by AND
// more tightly than any operator. A lone "ed2k::" hash is a one-term expression. Input length
// and nesting depth are bounded, so any byte string ends quickly. Stateless; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/search/SearchExprItem.h"
#include "engine/search/SearchExprScanner.h"

namespace P2P::Shared::Search::SearchParam {

struct CSearchParseResult {
  bool ok = false;
  CSearchExprList list;  // empty on failure
  std::string error;     // the parser's message on failure ("Invalid AND expression", ...)
};

class CSearchExprParser {
 public:
  static CSearchParseResult Parse(std::string_view text);

 private:
  explicit CSearchExprParser(std::vector<CSearchToken> tokens) : tokens_(std::move(tokens)) {}

  bool ParseInput(CSearchExprList& out);
  bool ParseChain(int level, CSearchExprList& out, size_t depth);
  bool ParsePrimary(CSearchExprList& out, size_t depth);
  bool ParseGroup(CSearchExprList& out, size_t depth);
  bool ParseTerm(CSearchExprList& out);
  bool CheckAfterOperand();
  bool Fail(std::string message);

  ESearchToken Peek() const { return tokens_[next_].kind; }
  const CSearchToken& Advance() { return tokens_[next_++]; }

  std::vector<CSearchToken> tokens_;  // always ends with kEnd
  size_t next_ = 0;
  std::string error_;
};

}  // namespace P2P::Shared::Search::SearchParam
