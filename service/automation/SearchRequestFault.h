// Why a search request cannot start: a keyword the expression parser refuses (with the
// parser's own message) or a file type no category has. Pure; any thread.
#pragma once

#include <string>

#include "engine/search/SearchParams.h"

namespace OSTREL::COM {

// Empty when the request can start.
std::string SearchRequestFault(
    const P2P::Shared::Search::SearchParam::_tagStructSearchParams& params);

}  // namespace OSTREL::COM
