// Encodes a parsed expression and the request's constraints into the body of an eD2K search
// request (the search tree): all items joined by AND in prefix form, the expression first,
// then each present constraint in a fixed order. Pure function of its inputs; any thread.
#pragma once

#include <cstdint>

#include "engine/protocol/Stream.h"
#include "engine/search/SearchExprItem.h"
#include "engine/search/SearchParams.h"

namespace P2P::Shared::Search::SearchParam {

// Numeric comparison operators on the wire.
inline constexpr uint8_t kSearchGreater = 1;
inline constexpr uint8_t kSearchLess = 2;

// Appends the search tree to `writer`. False when the expression is empty, a string is too
// long for its 16-bit length, or the writer refuses to grow; the caller discards what was
// written.
bool EncodeSearchTree(const CSearchExprList& expression, const _tagStructSearchParams& params,
                      Protocol::CStreamWriter& writer);

}  // namespace P2P::Shared::Search::SearchParam
