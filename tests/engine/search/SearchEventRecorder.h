// Test helper: counts search events and keeps the records they carried. Thread-safe, since
// events arrive on the search thread and the session threads.
#pragma once

#include <mutex>
#include <vector>

#include "engine/search/SearchEventHandler.h"

namespace P2P::test {

class CSearchEventRecorder : public ITARNNetP2PSearchEventHandler {
 public:
  void OnSearchStarted() override { Bump(started_); }
  void OnSearchResultAdded(const Shared::_tagStructSharedFile& file) override {
    std::lock_guard guard(lock_);
    added_.push_back(file);
  }
  void OnSearchResultChanged(const Shared::_tagStructSharedFile& file) override {
    std::lock_guard guard(lock_);
    changed_.push_back(file);
  }
  void OnSearchNotify() override { Bump(notified_); }

  int Started() const { return Read(started_); }
  int Notified() const { return Read(notified_); }
  std::vector<Shared::_tagStructSharedFile> Added() const {
    std::lock_guard guard(lock_);
    return added_;
  }
  std::vector<Shared::_tagStructSharedFile> Changed() const {
    std::lock_guard guard(lock_);
    return changed_;
  }

 private:
  void Bump(int& counter) {
    std::lock_guard guard(lock_);
    ++counter;
  }
  int Read(const int& counter) const {
    std::lock_guard guard(lock_);
    return counter;
  }
  mutable std::mutex lock_;
  int started_ = 0, notified_ = 0;
  std::vector<Shared::_tagStructSharedFile> added_, changed_;
};

}  // namespace P2P::test
