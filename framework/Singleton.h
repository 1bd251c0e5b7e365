// The process-wide singleton holder: GetInstance creates T and calls its Start on first use;
// the final Release destroys it. Engine threads call GetInstance without a lock once the
// host has created the instance under its own lock.
#pragma once

#include <atomic>
#include <mutex>

#include "framework/CriticalSection.h"
#include "framework/Reference.h"

namespace OSTREL {

template <typename T>
class CSingletonPtr : public CReferenceT<T> {
 public:
  static T* GetInstance(Process::CCriticalSection* lock = nullptr) {
    std::unique_lock<Process::CCriticalSection> guard;
    if (lock != nullptr) guard = std::unique_lock(*lock);
    T* instance = instance_.load(std::memory_order_acquire);
    if (instance != nullptr) return instance;

    instance = new T();
    instance_.store(instance, std::memory_order_release);
    if (!instance->Start()) {
      instance_.store(nullptr, std::memory_order_release);
      delete instance;
      return nullptr;
    }
    return instance_.load(std::memory_order_acquire);
  }

  // The instance if one exists, without creating it.
  static T* PeekInstance() { return instance_.load(std::memory_order_acquire); }

  void OnFinalRelease() override {
    T* self = static_cast<T*>(this);
    T* expected = self;
    instance_.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
    delete self;
  }

 private:
  static inline std::atomic<T*> instance_{nullptr};
};

}  // namespace OSTREL
