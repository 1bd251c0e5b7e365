#include "engine/core/OfferCoalescer.h"

#include <algorithm>

#include "framework/CriticalSection.h"
#include "framework/TickSource.h"

namespace P2P {

using OSTREL::Process::CTickSource;

void COfferCoalescer::NoteChange() {
  OSTREL::Process::CLock guard(lock_);
  const uint32_t now = CTickSource::Now();
  if (!pending_) firstChange_ = now;
  pending_ = true;
  lastChange_ = now;
  ++changes_;
}

uint64_t COfferCoalescer::Changes() const {
  OSTREL::Process::CLock guard(lock_);
  return changes_;
}

void COfferCoalescer::NoteOffered() { NoteOffered(Changes()); }

void COfferCoalescer::NoteOffered(uint64_t mark) {
  OSTREL::Process::CLock guard(lock_);
  if (changes_ == mark) pending_ = false;
  offered_ = true;
  lastOffer_ = CTickSource::Now();
}

void COfferCoalescer::Forget() {
  OSTREL::Process::CLock guard(lock_);
  pending_ = false;
}

void COfferCoalescer::ForgetUpTo(uint64_t mark) {
  OSTREL::Process::CLock guard(lock_);
  if (changes_ == mark) pending_ = false;
}

bool COfferCoalescer::IsPending() const {
  OSTREL::Process::CLock guard(lock_);
  return pending_;
}

bool COfferCoalescer::IsDue() const {
  OSTREL::Process::CLock guard(lock_);
  return pending_ && TicksUntilDueLocked() == 0;
}

uint32_t COfferCoalescer::TicksUntilDue() const {
  OSTREL::Process::CLock guard(lock_);
  return TicksUntilDueLocked();
}

uint32_t COfferCoalescer::TicksUntilDueLocked() const {
  if (!pending_) return kNever;
  const uint32_t now = CTickSource::Now();
  // Ticks wrap: differences, never absolute comparisons.
  const auto waitFor = [now](uint32_t since, uint32_t period) -> uint32_t {
    const uint32_t passed = now - since;
    return passed >= period ? 0 : period - passed;
  };
  // Settled, or changing for so long that the server should hear of it anyway.
  uint32_t due = std::min(waitFor(lastChange_, kSettleTime), waitFor(firstChange_, kMinInterval));
  if (offered_) due = std::max(due, waitFor(lastOffer_, kMinInterval));
  return due;
}

}  // namespace P2P
