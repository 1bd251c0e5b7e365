// Decides when changes of the shared files are offered to the server again. A burst of changes
// is offered once, when it has settled for a few seconds; while files keep arriving, at most
// about once a minute, so a library being hashed never floods the server (which bans clients
// that offer too often). Times come from the tick source. Any thread; one small lock.
#pragma once

#include <cstdint>
#include <mutex>

#include "framework/CriticalSection.h"

namespace P2P {

class COfferCoalescer {
 public:
  // Quiet time after the last change before the burst is offered.
  static constexpr uint32_t kSettleTime = 3000;
  // Offers are at least this far apart, and changes wait at most about this long.
  static constexpr uint32_t kMinInterval = 60000;

  void NoteChange();
  // Counts the changes noted so far: the mark of a list read now.
  uint64_t Changes() const;
  // An offer went out (for whatever reason): every change so far is in it.
  void NoteOffered();
  // As above for a list read at `mark`: changes after it stay pending.
  void NoteOffered(uint64_t mark);
  // Nothing to offer after all (no server to offer to: the next login offers everything).
  void Forget();
  // A list read at `mark` went out: the changes up to it are in it, later ones stay pending.
  void ForgetUpTo(uint64_t mark);
  bool IsPending() const;
  bool IsDue() const;
  // Milliseconds until IsDue() turns true; kNever when nothing is pending.
  uint32_t TicksUntilDue() const;

  static constexpr uint32_t kNever = 0xFFFFFFFFu;

 private:
  uint32_t TicksUntilDueLocked() const REQUIRES(lock_);

  mutable OSTREL::Process::CMutex lock_;
  bool pending_ GUARDED_BY(lock_) = false;
  bool offered_ GUARDED_BY(lock_) = false;
  uint64_t changes_ GUARDED_BY(lock_) = 0;
  uint32_t firstChange_ GUARDED_BY(lock_) = 0;
  uint32_t lastChange_ GUARDED_BY(lock_) = 0;
  uint32_t lastOffer_ GUARDED_BY(lock_) = 0;
};

}  // namespace P2P
