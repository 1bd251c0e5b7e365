// The search request record handed to the expression manager by the search manager: the
// typed text, the encoding mode and the optional constraints. A field that is 0 or empty adds
// no constraint. Plain value type; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace P2P::Shared::Search::SearchParam {

struct _tagStructSearchParams {
  std::string expression;        // UTF-8; must not be empty
  int32_t mode = 0;              // 0 or 1: named media tags, inclusive bounds; else one-byte names
  std::string fileType;          // category word ("Audio", ...), tag 3
  uint64_t minSize = 0;          // tag 2, greater (a 64-bit value above 32 bits)
  uint64_t maxSize = 0;          // tag 2, less
  uint32_t sources = 0;          // tag 21
  std::string format;            // extension, tag 4
  uint16_t completeSources = 0;  // tag 48, greater
  uint32_t bitrate = 0;
  uint32_t length = 0;
  std::string codec;
  std::string title;
  std::string album;
  std::string artist;
};

}  // namespace P2P::Shared::Search::SearchParam
