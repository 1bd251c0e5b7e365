// An owning handle on an intrusively counted object (CReferenceT): copying adds a reference,
// destruction releases it. The handle itself is not synchronised; the count is.
#pragma once

#include <utility>

namespace OSTREL {

template <typename T>
class CReferencePtr {
 public:
  CReferencePtr() = default;
  // Takes a new reference on `object`.
  explicit CReferencePtr(T* object) : object_(object) {
    if (object_ != nullptr) object_->AddRef();
  }
  CReferencePtr(const CReferencePtr& other) : CReferencePtr(other.object_) {}
  CReferencePtr(CReferencePtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  template <typename U>
  CReferencePtr(const CReferencePtr<U>& other) : CReferencePtr(other.Get()) {}
  ~CReferencePtr() { Reset(); }

  CReferencePtr& operator=(CReferencePtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  void Reset() {
    if (T* object = std::exchange(object_, nullptr)) object->Release();
  }
  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }
  bool operator==(const CReferencePtr& other) const { return object_ == other.object_; }

 private:
  T* object_ = nullptr;
};

template <typename T, typename... Args>
CReferencePtr<T> MakeReference(Args&&... args) {
  return CReferencePtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace OSTREL
