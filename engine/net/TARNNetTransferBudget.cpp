#include "engine/net/TARNNetTransferBudget.h"

#include "engine/net/TARNNetClientCreditList.h"

namespace P2P {

uint32_t CTARNNetTransferBudget::OnReceived(const _tagUnionHash& user, uint32_t bytes) {
  if (credit_) credit_(user, bytes);
  return downloadLimiter_.Spend(bytes);
}

CTARNNetTransferBudget::CreditReceived ReceivedCreditOf(Credit::CTARNNetClientCreditList& credits) {
  return
      [&credits](const _tagUnionHash& user, uint64_t bytes) { credits.AddDownloaded(user, bytes); };
}

}  // namespace P2P
