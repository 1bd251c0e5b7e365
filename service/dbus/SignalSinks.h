// The event sinks a D-Bus Advise installs: each turns an event into the signal of the same
// name on the advising object's path, sent to the client that owns the object and to nobody
// else on the bus. They run on the bus thread (the executor of the automation objects) and
// do nothing once the object is gone.
#pragma once

#include <memory>

#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {

template <typename Exported>
class CServerListSignals : public _IP2PServerListEvents {
 public:
  explicit CServerListSignals(std::weak_ptr<Exported> target) : target_(std::move(target)) {}
  void OnServerAdded(uint32_t key) override {
    if (auto t = target_.lock()) t->EmitToOwner("OnServerAdded", key);
  }
  void OnServerChanged(uint32_t key) override {
    if (auto t = target_.lock()) t->EmitToOwner("OnServerChanged", key);
  }
  void OnServerRemoved(uint32_t key) override {
    if (auto t = target_.lock()) t->EmitToOwner("OnServerRemoved", key);
  }

 private:
  std::weak_ptr<Exported> target_;
};

template <typename Exported>
class CFileListSignals : public _IP2PFileListEvents {
 public:
  explicit CFileListSignals(std::weak_ptr<Exported> target) : target_(std::move(target)) {}
  void OnFileAdded(uint32_t key) override {
    if (auto t = target_.lock()) t->EmitToOwner("OnFileAdded", key);
  }
  void OnFileChanged(uint32_t key) override {
    if (auto t = target_.lock()) t->EmitToOwner("OnFileChanged", key);
  }
  void OnFileRemoved(uint32_t key) override {
    if (auto t = target_.lock()) t->EmitToOwner("OnFileRemoved", key);
  }

 private:
  std::weak_ptr<Exported> target_;
};

template <typename Exported>
class CResultListSignals : public _IP2PSearchResultFileListEvents {
 public:
  explicit CResultListSignals(std::weak_ptr<Exported> target) : target_(std::move(target)) {}
  void OnResultsCleared() override {
    if (auto t = target_.lock()) t->EmitToOwner("OnResultsCleared");
  }
  void OnResultAdded(uint32_t key) override {
    if (auto t = target_.lock()) t->EmitToOwner("OnResultAdded", key);
  }
  void OnResultChanged(uint32_t key) override {
    if (auto t = target_.lock()) t->EmitToOwner("OnResultChanged", key);
  }
  void OnSearchNotify() override {
    if (auto t = target_.lock()) t->EmitToOwner("OnSearchNotify");
  }

 private:
  std::weak_ptr<Exported> target_;
};

template <typename Exported>
class CSearchRequestSignals : public _IP2PSearchRequestEvents {
 public:
  explicit CSearchRequestSignals(std::weak_ptr<Exported> target) : target_(std::move(target)) {}
  void OnSearchStarted() override {
    if (auto t = target_.lock()) t->EmitToOwner("OnSearchStarted");
  }
  void OnSearchNotify() override {
    if (auto t = target_.lock()) t->EmitToOwner("OnSearchNotify");
  }

 private:
  std::weak_ptr<Exported> target_;
};

}  // namespace OSTREL::COM
