// Bounds on a typed search expression, kept in one place. Any byte string the user (or an
// automation client) supplies is refused beyond these before it can cost more than a few
// thousand parser steps or recursion frames. Constants only; any thread.
#pragma once

#include <cstddef>

namespace P2P::Shared::Search::SearchParam {

// Longest expression text accepted, in bytes. The search band stops at 260 characters; this
// leaves room for pasted file links and long automation queries.
inline constexpr size_t kMaxExpressionLength = 4096;

// Deepest nesting of parentheses. Each level costs a handful of recursion frames.
inline constexpr size_t kMaxNestingDepth = 64;

// Every string on the wire carries a 16-bit length.
inline constexpr size_t kMaxWireStringLength = 0xFFFF;

}  // namespace P2P::Shared::Search::SearchParam
