// The process-wide holder of the current search expression: it parses the typed text of a
// search request into prefix order, keeps the list, and encodes list and constraints into
// the body of a search request. Parser messages go to the debug log only. Thread-safe (one
// lock serialises builds); the search manager calls it from its own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/protocol/Stream.h"
#include "engine/search/SearchExprItem.h"
#include "engine/search/SearchParams.h"
#include "framework/CriticalSection.h"
#include "framework/Singleton.h"

namespace P2P::Shared::Search::SearchParam {

class CTARNNetSearchExprManager : public OSTREL::CSingletonPtr<CTARNNetSearchExprManager> {
 public:
  // Clears the list, parses params.expression and appends the encoded search tree to `body`.
  // False on an empty text, a parse error or an encoding failure (the body grown past
  // `limit`); `body` then keeps its old length and the list is empty.
  bool BuildSearchBody(const _tagStructSearchParams& params, std::vector<uint8_t>& body,
                       size_t limit = Protocol::CStreamWriter::kUnbounded);

  void Clear();
  void Append(CSearchExprItem item);
  void Append(CSearchExprList list);
  CSearchExprList GetExpression() const;

 private:
  mutable OSTREL::Process::CCriticalSection lock_;
  CSearchExprList expression_ GUARDED_BY(lock_);
};

}  // namespace P2P::Shared::Search::SearchParam
