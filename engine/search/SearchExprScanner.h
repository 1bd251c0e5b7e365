// Splits a typed search expression into tokens: spaces, the upper-case keywords OR, AND and
// NOT as whole words, eD2K file links and "ed2k::" hashes, plain words, quoted phrases with
// C-style escapes, and parentheses. At each position the longest match wins, the earlier rule
// on a tie. Works over the caller's text, which must outlive it; one thread per scanner.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace P2P::Shared::Search::SearchParam {

enum class ESearchToken { kEnd, kOr, kAnd, kNot, kString, kHash, kOpen, kClose, kError };

struct CSearchToken {
  ESearchToken kind = ESearchToken::kEnd;
  std::string text;  // a string token's bytes (phrase unescaped), or the hash token's text
};

class CSearchExprScanner {
 public:
  explicit CSearchExprScanner(std::string_view text) : text_(text) {}

  // The next token; kEnd at the end, kError (with Error() set) on an unterminated phrase.
  CSearchToken Next();
  const std::string& Error() const { return error_; }

 private:
  size_t MatchKeyword(std::string_view keyword) const;
  size_t MatchFileLink() const;
  size_t MatchHash() const;
  size_t MatchWord() const;
  CSearchToken ReadPhrase();
  CSearchToken Take(ESearchToken kind, size_t length);

  std::string_view text_;
  size_t position_ = 0;
  std::string error_;
};

}  // namespace P2P::Shared::Search::SearchParam
