#include "framework/WaitMultipleSocketsManager.h"

#include <chrono>
#include <thread>

namespace OSTREL::Network::Socket {

using Process::CLock;

CWaitMultipleSocketsManagerImpl::CWaitMultipleSocketsManagerImpl(size_t socketsPerWaitObject)
    : socketsPerWaitObject_(socketsPerWaitObject != 0 ? socketsPerWaitObject
                                                      : CWaitMultipleSockets::SystemCapacity()) {}

CWaitMultipleSocketsManagerImpl::~CWaitMultipleSocketsManagerImpl() { Stop(); }

bool CWaitMultipleSocketsManagerImpl::Start() {
  if (IsRunning()) return true;
  stopEvent_.ResetEvent();
  workEvent_.ResetEvent();
  stopping_.store(false, std::memory_order_release);
  if (!CThreadBase::Start()) {
    stopping_.store(true, std::memory_order_release);
    return false;
  }
  return sweeper_.Start(this);
}

bool CWaitMultipleSocketsManagerImpl::Stop() {
  sweeper_.Stop();
  if (stopping_.exchange(true, std::memory_order_acq_rel) && !IsRunning()) return true;
  // Stopping refuses new objects; every object still held is removed, which retires every
  // wait object for the disposal below.
  std::vector<CManagedObjectBase*> held;
  {
    CLock guard(managerLock_);
    for (const auto& [key, object] : objects_) held.push_back(object);
  }
  for (CManagedObjectBase* object : held) Remove(object);
  {
    CLock guard(managerLock_);
    while (!waitObjects_.empty()) {
      RetireLocked(waitObjects_.front());
      waitObjects_.pop_front();
    }
  }
  stopEvent_.Set();
  CThreadBase::Stop();
  DisposeRetired();  // in case the thread never ran
  return true;
}

bool CWaitMultipleSocketsManagerImpl::Add(CManagedObjectBase* object) {
  if (object == nullptr) return false;
  object->AddRef();
  bool placed = false;
  if (!IsStopping()) {
    CLock guard(managerLock_);
    const uint64_t key = nextKey_++;
    object->SetManager(this, key);
    object->ResetIdleTimer();
    objects_.emplace(key, object);
    placed = PlaceLocked(key, *object);
    if (!placed) {
      objects_.erase(key);
      object->SetManager(nullptr, 0);
    }
  }
  if (!placed) object->Release();
  return placed;
}

bool CWaitMultipleSocketsManagerImpl::PlaceLocked(uint64_t key, CManagedObjectBase& object) {
  for (CWaitMultipleSockets* waitObject : waitObjects_)
    if (!waitObject->IsFull() && waitObject->Add(key, object)) return true;

  auto* waitObject = new CWaitMultipleSockets(*this, socketsPerWaitObject_);
  waitObject->AddRef();
  alive_.fetch_add(1, std::memory_order_acq_rel);
  if (!waitObject->Start()) {
    RetireLocked(waitObject);
    return false;
  }
  waitObjects_.push_back(waitObject);
  if (waitObject->Add(key, object)) return true;
  // Nothing else holds it yet: an empty new wait object goes straight to retirement.
  waitObjects_.pop_back();
  RetireLocked(waitObject);
  return false;
}

bool CWaitMultipleSocketsManagerImpl::Remove(CManagedObjectBase* object) {
  if (object == nullptr) return false;
  CManagedObjectBase* found = nullptr;
  {
    CLock guard(managerLock_);
    const uint64_t key = object->GetManagerKey();
    for (auto it = waitObjects_.begin(); it != waitObjects_.end(); ++it) {
      if (!(*it)->Remove(key, *object)) continue;
      if ((*it)->SocketCount() == 0) {
        RetireLocked(*it);
        waitObjects_.erase(it);
      }
      break;
    }
    const auto entry = objects_.find(key);
    if (entry != objects_.end() && entry->second == object) {
      found = object;
      objects_.erase(entry);
      object->SetManager(nullptr, 0);
    }
  }
  if (found == nullptr) return false;
  if (found->IsOpen()) found->Close(true);
  found->Release();
  return true;
}

void CWaitMultipleSocketsManagerImpl::RetireLocked(CWaitMultipleSockets* waitObject) {
  waitObject->RequestEnd();
  retired_.push_back(waitObject);
  workEvent_.Set();
}

void CWaitMultipleSocketsManagerImpl::DisposeRetired() {
  std::vector<CWaitMultipleSockets*> retired;
  {
    CLock guard(managerLock_);
    retired.swap(retired_);
  }
  // Joining happens outside the lock: a wait thread may be in a handler that takes it.
  for (CWaitMultipleSockets* waitObject : retired) {
    waitObject->Stop();
    waitObject->Release();
    alive_.fetch_sub(1, std::memory_order_acq_rel);
  }
}

unsigned CWaitMultipleSocketsManagerImpl::Run() {
  for (;;) {
    const int signalled = Process::WaitForEvents({&stopEvent_, &workEvent_});
    if (signalled == 1) {
      workEvent_.ResetEvent();
      DisposeRetired();
      continue;
    }
    if (signalled != 0) return 1;
    while (alive_.load(std::memory_order_acquire) > 0) {
      DisposeRetired();
      if (alive_.load(std::memory_order_acquire) > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
  }
}

void CWaitMultipleSocketsManagerImpl::OnSocketReady(uint64_t key, uint32_t readiness) {
  CManagedObjectBase* object = nullptr;
  {
    CLock guard(managerLock_);
    const auto entry = objects_.find(key);
    if (entry == objects_.end()) return;
    object = entry->second;
    object->AddRef();  // a handler may Remove the object while it runs
  }
  object->OnManagedNetworkEvent(readiness);
  object->Release();
}

void CWaitMultipleSocketsManagerImpl::SweepIdle() {
  std::vector<CManagedObjectBase*> expired;
  {
    CLock guard(managerLock_);
    for (const auto& [key, object] : objects_) {
      if (object->IsIdle() || !object->IsOpen()) {
        object->AddRef();
        expired.push_back(object);
      }
    }
  }
  for (CManagedObjectBase* object : expired) {
    Remove(object);
    object->Release();
  }
}

size_t CWaitMultipleSocketsManagerImpl::ObjectCount() const {
  CLock guard(managerLock_);
  return objects_.size();
}

size_t CWaitMultipleSocketsManagerImpl::WaitObjectCount() const {
  CLock guard(managerLock_);
  return waitObjects_.size();
}

}  // namespace OSTREL::Network::Socket
