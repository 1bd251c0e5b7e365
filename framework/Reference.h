// Intrusive, interlocked reference counting shared by the engine's long-lived objects
// (the singleton holder, client records, peer connecters). Counting is thread-safe; what
// the object does on its first and final reference is up to the derived class.
#pragma once

#include <atomic>

namespace OSTREL {

template <typename T>
class CReferenceT {
 public:
  virtual ~CReferenceT() = default;

  virtual long AddRef() {
    const long count = count_.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (count == 1) OnFirstReference();
    return count;
  }
  virtual long Release() {
    const long count = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) OnFinalRelease();
    return count;
  }
  // Takes a reference only while another one is held: false once the count has reached zero
  // and the object is on its way out, so a registry that lists objects without owning them
  // can hand them out safely.
  bool TryAddRef() {
    long count = count_.load(std::memory_order_acquire);
    while (count > 0)
      if (count_.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel)) return true;
    return false;
  }
  virtual void OnFirstReference() {}
  // The last reference is gone: by default the object frees itself.
  virtual void OnFinalRelease() { delete this; }
  virtual bool Start() {
    AddRef();
    return true;
  }
  virtual bool Stop() {
    Release();
    return true;
  }

  long GetRefCount() const { return count_.load(std::memory_order_acquire); }

 private:
  std::atomic<long> count_{0};
};

}  // namespace OSTREL
