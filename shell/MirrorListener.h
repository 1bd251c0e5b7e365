// What a mirror of one of the daemon's lists tells those who follow it: each record added,
// changed or removed, the list loaded afresh or cleared, and the daemon going away. The web
// page's push channel and the completion prompt are such listeners. Called on the mirror's
// worker thread, outside the lock readers take, one change at a time; a listener may read the
// mirror but must not block for long.
#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace tarn::shell {

enum class EMirrorChange {
  kAdded,         // record: the new one
  kChanged,       // record: as it is now
  kRemoved,       // record: as it left (a download's phase says whether it completed)
  kReloaded,      // the whole list was read (again); no record
  kCleared,       // emptied (a new search); no record
  kDisconnected,  // the daemon went away; the mirror is empty until it comes back
};

template <typename Record>
class IMirrorListenerT {
 public:
  virtual ~IMirrorListenerT() = default;
  // `record` is null for the changes that concern the whole list.
  virtual void OnMirrorChange(EMirrorChange change, const Record* record) = 0;
};

// A listener that is one function.
template <typename Record>
class CMirrorListenerFn : public IMirrorListenerT<Record> {
 public:
  using Function = std::function<void(EMirrorChange, const Record*)>;
  explicit CMirrorListenerFn(Function function) : function_(std::move(function)) {}
  void OnMirrorChange(EMirrorChange change, const Record* record) override {
    function_(change, record);
  }

 private:
  Function function_;
};

}  // namespace tarn::shell
