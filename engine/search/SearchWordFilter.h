// The word test a search applies to each new answer: the typed text split at every space, and
// a file name passes when it contains one of the words (case-sensitive). A filter made by
// default passes nothing, so answers that arrive before any search are dropped. Plain value
// type; any thread once built.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace P2P::Shared::Search {

class CSearchWordFilter {
 public:
  CSearchWordFilter() = default;
  // The pieces between spaces, without the expression's quotes and parentheses. An empty piece
  // (two spaces in a row, a trailing space) is a word every name contains. A hash search or a
  // file link, and a text with nothing but syntax, cannot be checked against names: the filter
  // then passes every name.
  explicit CSearchWordFilter(std::string_view text);

  bool Matches(std::string_view fileName) const;
  const std::vector<std::string>& Words() const { return words_; }

 private:
  std::vector<std::string> words_;
  bool passesAll_ = false;
};

}  // namespace P2P::Shared::Search
