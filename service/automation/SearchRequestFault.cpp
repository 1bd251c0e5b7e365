#include "service/automation/SearchRequestFault.h"

#include "engine/library/FileCategory.h"
#include "engine/search/SearchExprParser.h"

namespace OSTREL::COM {

std::string SearchRequestFault(
    const P2P::Shared::Search::SearchParam::_tagStructSearchParams& params) {
  if (params.expression.empty()) return "no keyword to search for";
  const auto parsed = P2P::Shared::Search::SearchParam::CSearchExprParser::Parse(params.expression);
  if (!parsed.ok) return parsed.error.empty() ? "the keyword does not parse" : parsed.error;
  if (!params.fileType.empty() &&
      P2P::Shared::File::CategoryFromTypeWord(params.fileType) == P2P::Shared::File::kCategoryNone)
    return "unknown file type \"" + params.fileType +
           "\" (Audio, Video, Image, Pro, Doc, Arc, Iso)";
  return {};
}

}  // namespace OSTREL::COM
