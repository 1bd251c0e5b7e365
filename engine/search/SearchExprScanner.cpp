#include "engine/search/SearchExprScanner.h"

#include <array>

namespace P2P::Shared::Search::SearchParam {
namespace {

constexpr std::string_view kLinkPrefix = "ed2k://|file|";
constexpr std::string_view kHashPrefix = "ed2k::";
constexpr size_t kHashDigits = 32;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// Tabs, carriage returns and newlines are word characters; only these end a word.
bool IsWordChar(char c) { return c != ' ' && c != '(' && c != ')' && c != '"'; }

// The byte a simple backslash escape stands for, or -1 when the escape is not a simple one.
int SimpleEscape(char c) {
  switch (c) {
    case 'n':
      return '\n';
    case 't':
      return '\t';
    case 'r':
      return '\r';
    case 'a':
      return '\a';
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'v':
      return '\v';
    case '\\':
      return '\\';
    case '"':
      return '"';
    case '\'':
      return '\'';
    case '?':
      return '?';
    default:
      return -1;
  }
}

}  // namespace

CSearchToken CSearchExprScanner::Next() {
  while (position_ < text_.size() && text_[position_] == ' ') ++position_;
  if (position_ >= text_.size()) return {ESearchToken::kEnd, {}};

  const char first = text_[position_];
  if (first == '(') return Take(ESearchToken::kOpen, 1);
  if (first == ')') return Take(ESearchToken::kClose, 1);
  if (first == '"') return ReadPhrase();

  // Candidates in rule order; a later rule replaces an earlier one only when strictly longer.
  const std::array<std::pair<ESearchToken, size_t>, 6> candidates = {{
      {ESearchToken::kOr, MatchKeyword("OR")},
      {ESearchToken::kAnd, MatchKeyword("AND")},
      {ESearchToken::kNot, MatchKeyword("NOT")},
      {ESearchToken::kString, MatchFileLink()},  // no link reader: a link is a phrase
      {ESearchToken::kHash, MatchHash()},
      {ESearchToken::kString, MatchWord()},
  }};
  std::pair<ESearchToken, size_t> best{ESearchToken::kString, 0};
  for (const auto& candidate : candidates)
    if (candidate.second > best.second) best = candidate;
  return Take(best.first, best.second);  // MatchWord is at least 1 here
}

CSearchToken CSearchExprScanner::Take(ESearchToken kind, size_t length) {
  CSearchToken token{kind, {}};
  if (kind == ESearchToken::kString || kind == ESearchToken::kHash)
    token.text.assign(text_.substr(position_, length));
  position_ += length;
  return token;
}

size_t CSearchExprScanner::MatchKeyword(std::string_view keyword) const {
  return text_.substr(position_).starts_with(keyword) ? keyword.size() : 0;
}

// ed2k://|file|<name without '|'>|<decimal digits>|<32 hex digits>|/
size_t CSearchExprScanner::MatchFileLink() const {
  const std::string_view rest = text_.substr(position_);
  if (!rest.starts_with(kLinkPrefix)) return 0;
  size_t at = kLinkPrefix.size();
  const size_t nameStart = at;
  while (at < rest.size() && rest[at] != '|') ++at;
  if (at == nameStart || at >= rest.size()) return 0;
  ++at;
  const size_t sizeStart = at;
  while (at < rest.size() && IsDecimalDigit(rest[at])) ++at;
  if (at == sizeStart || at >= rest.size() || rest[at] != '|') return 0;
  ++at;
  for (size_t i = 0; i < kHashDigits; ++i, ++at)
    if (at >= rest.size() || !IsHexDigit(rest[at])) return 0;
  if (!rest.substr(at).starts_with("|/")) return 0;
  return at + 2;
}

size_t CSearchExprScanner::MatchHash() const {
  const std::string_view rest = text_.substr(position_);
  if (!rest.starts_with(kHashPrefix)) return 0;
  const size_t end = kHashPrefix.size() + kHashDigits;
  if (rest.size() < end) return 0;
  for (size_t at = kHashPrefix.size(); at < end; ++at)
    if (!IsHexDigit(rest[at])) return 0;
  return end;
}

size_t CSearchExprScanner::MatchWord() const {
  size_t at = position_;
  while (at < text_.size() && IsWordChar(text_[at])) ++at;
  return at - position_;
}

// The text is UTF-8, whose multi-byte sequences never contain a quote, a backslash or a
// newline byte, so the phrase is unescaped byte by byte.
CSearchToken CSearchExprScanner::ReadPhrase() {
  CSearchToken token{ESearchToken::kString, {}};
  size_t at = position_ + 1;
  while (at < text_.size()) {
    const char c = text_[at];
    if (c == '"') {
      position_ = at + 1;
      return token;
    }
    if (c == '\n') break;
    if (c != '\\' || at + 1 >= text_.size()) {
      token.text += c;
      ++at;
      continue;
    }
    const char escaped = text_[at + 1];
    if (const int simple = SimpleEscape(escaped); simple >= 0) {
      token.text += static_cast<char>(simple);
      at += 2;
    } else if (escaped == 'x') {
      // Up to two hex digits make one byte; "\x" alone is the letter x.
      at += 2;
      int value = 0;
      size_t digits = 0;
      while (digits < 2 && at < text_.size() && IsHexDigit(text_[at])) {
        value = value * 16 + HexValue(text_[at]);
        ++at;
        ++digits;
      }
      token.text += digits == 0 ? 'x' : static_cast<char>(value);
    } else {
      // An unknown escape keeps its backslash; the next character is read normally.
      token.text += c;
      ++at;
    }
  }
  position_ = text_.size();
  error_ = "Invalid Expression";
  return {ESearchToken::kError, {}};
}

}  // namespace P2P::Shared::Search::SearchParam
