#include "engine/search/SearchWordFilter.h"

#include <algorithm>

namespace P2P::Shared::Search {
namespace {

// A piece that names a file by hash or by link: the names of the answers never contain it.
bool NamesFileByHash(std::string_view piece) {
  return piece.starts_with("ed2k::") || piece.starts_with("ed2k://");
}

bool IsExpressionSyntax(char c) { return c == '"' || c == '(' || c == ')'; }

}  // namespace

CSearchWordFilter::CSearchWordFilter(std::string_view text) {
  size_t start = 0;
  for (;;) {
    const size_t space = text.find(' ', start);
    const std::string_view piece = text.substr(
        start, space == std::string_view::npos ? std::string_view::npos : space - start);
    if (NamesFileByHash(piece)) passesAll_ = true;
    std::string word(piece);
    std::erase_if(word, IsExpressionSyntax);
    // Quotes and parentheses are never part of a name the server matched; a piece made only
    // of them says nothing about the name.
    if (!word.empty() || piece.empty()) words_.push_back(std::move(word));
    if (space == std::string_view::npos) break;
    start = space + 1;
  }
  if (words_.empty()) passesAll_ = true;
}

bool CSearchWordFilter::Matches(std::string_view fileName) const {
  if (passesAll_) return true;
  return std::any_of(words_.begin(), words_.end(), [fileName](const std::string& word) {
    return fileName.find(word) != std::string_view::npos;
  });
}

}  // namespace P2P::Shared::Search
