#include "engine/transfer/TransferMeter.h"

#include <algorithm>

#include "framework/CriticalSection.h"
#include "framework/TickSource.h"

namespace P2P {
namespace {

uint32_t CurrentSecond() { return OSTREL::Process::CTickSource::Now() / 1000; }

}  // namespace

void CTransferMeter::AdvanceLocked(uint32_t second) const {
  const uint32_t passed = second - second_;
  if (!started_ || passed >= buckets_.size()) {
    buckets_.fill(0);
  } else {
    for (uint32_t step = 1; step <= passed; ++step)
      buckets_[(second_ + step) % buckets_.size()] = 0;
  }
  started_ = true;
  second_ = second;
}

void CTransferMeter::Add(uint64_t bytes) {
  OSTREL::Process::CLock guard(lock_);
  if (total_ == 0) firstSecond_ = CurrentSecond();
  AdvanceLocked(CurrentSecond());
  buckets_[second_ % buckets_.size()] += bytes;
  total_ += bytes;
}

uint64_t CTransferMeter::Total() const {
  OSTREL::Process::CLock guard(lock_);
  return total_;
}

uint64_t CTransferMeter::Rate() const {
  OSTREL::Process::CLock guard(lock_);
  AdvanceLocked(CurrentSecond());
  uint64_t sum = 0;
  for (size_t slot = 0; slot < buckets_.size(); ++slot)
    if (slot != second_ % buckets_.size()) sum += buckets_[slot];
  const uint32_t counted = std::min(kWindowSeconds, second_ - firstSecond_);
  return counted == 0 ? 0 : sum / counted;
}

}  // namespace P2P
