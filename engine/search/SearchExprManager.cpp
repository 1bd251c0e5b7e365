#include "engine/search/SearchExprManager.h"

#include <utility>

#include "engine/search/SearchExprParser.h"
#include "engine/search/SearchTreeEncoder.h"
#include "framework/Log.h"
#include "framework/LogText.h"

namespace P2P::Shared::Search::SearchParam {

bool CTARNNetSearchExprManager::BuildSearchBody(const _tagStructSearchParams& params,
                                                std::vector<uint8_t>& body, size_t limit) {
  OSTREL::Process::CLock guard(lock_);
  expression_.clear();
  if (params.expression.empty()) return false;

  CSearchParseResult parsed = CSearchExprParser::Parse(params.expression);
  if (!parsed.ok) {
    OSTREL::LogDebug(OSTREL::EscapeForLog(parsed.error));
    return false;
  }
  Append(std::move(parsed.list));

  const size_t oldLength = body.size();
  Protocol::CStreamWriter writer(body, limit);
  if (!EncodeSearchTree(expression_, params, writer)) {
    OSTREL::LogDebug("search request could not be encoded");
    body.resize(oldLength);
    expression_.clear();
    return false;
  }
  return true;
}

void CTARNNetSearchExprManager::Clear() {
  OSTREL::Process::CLock guard(lock_);
  expression_.clear();
}

void CTARNNetSearchExprManager::Append(CSearchExprItem item) {
  OSTREL::Process::CLock guard(lock_);
  expression_.push_back(std::move(item));
}

void CTARNNetSearchExprManager::Append(CSearchExprList list) {
  OSTREL::Process::CLock guard(lock_);
  if (expression_.empty()) {
    expression_ = std::move(list);
    return;
  }
  for (CSearchExprItem& item : list) expression_.push_back(std::move(item));
}

CSearchExprList CTARNNetSearchExprManager::GetExpression() const {
  OSTREL::Process::CLock guard(lock_);
  return expression_;
}

}  // namespace P2P::Shared::Search::SearchParam
