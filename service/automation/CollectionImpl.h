// The four collection methods every list object starts with, written once: positions count
// from 1 (E_INVALIDARG below 1, E_FAIL past the end), keys are the items' 32-bit ids (E_FAIL
// when unknown), `get__NewEnum` is not implemented. A list without its engine answers
// E_FAIL. Each call makes a new item object. Also the connection point of the list. Any
// thread.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "service/automation/ConnectionPoint.h"
#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {

template <typename Interface, typename Item, typename Events>
class CCollectionImplT : public Interface {
 public:
  ~CCollectionImplT() override { connectionPoint_->Close(); }

  HRESULT get_Item(int32_t index, std::shared_ptr<Item>* item) override {
    if (item == nullptr) return E_POINTER;
    if (index < 1) return E_INVALIDARG;
    *item = ItemAt(static_cast<size_t>(index));
    return *item ? S_OK : E_FAIL;
  }
  HRESULT get__NewEnum(std::shared_ptr<IP2PUnknown>* enumerator) override {
    if (enumerator != nullptr) enumerator->reset();
    return E_NOTIMPL;
  }
  HRESULT get_Count(int32_t* count) override {
    if (count == nullptr) return E_POINTER;
    const auto n = CountOf();
    if (!n) return E_FAIL;
    *count = static_cast<int32_t>(*n);
    return S_OK;
  }
  HRESULT get_ItemByKey(int32_t key, std::shared_ptr<Item>* item) override {
    if (item == nullptr) return E_POINTER;
    *item = ItemByKey(static_cast<uint32_t>(key));
    return *item ? S_OK : E_FAIL;
  }

  HRESULT Advise(std::shared_ptr<Events> sink, uint32_t* cookie) override {
    return connectionPoint_->Advise(std::move(sink), cookie);
  }
  HRESULT Unadvise(uint32_t cookie) override { return connectionPoint_->Unadvise(cookie); }

 protected:
  CCollectionImplT(std::shared_ptr<SAutomationContext> context, IEngineEventSubscriber::Source source,
                   typename CConnectionPointT<Events>::Deliver deliver)
      : context_(context),
        connectionPoint_(CConnectionPointT<Events>::Make(std::move(context), source, deliver)) {}

  virtual std::optional<size_t> CountOf() = 0;
  virtual std::shared_ptr<Item> ItemAt(size_t position) = 0;
  virtual std::shared_ptr<Item> ItemByKey(uint32_t key) = 0;

  std::shared_ptr<SAutomationContext> context_;

 private:
  std::shared_ptr<CConnectionPointT<Events>> connectionPoint_;
};

// A bulk listing of a file list: every file of `list` as a row, read through an item object
// of it as a client would read it; a null `list` (no engine) gives E_FAIL.
template <typename ItemObject, typename List, typename Row, typename Interface>
HRESULT ItemRows(const std::shared_ptr<SAutomationContext>& context, List* list,
                 std::vector<Row>* rows, Row (*rowOf)(Interface&)) {
  if (rows == nullptr) return E_POINTER;
  rows->clear();
  if (list == nullptr) return E_FAIL;
  for (auto& file : list->Snapshot()) {
    ItemObject item(context, std::move(file));
    rows->push_back(rowOf(item));
  }
  return S_OK;
}

// Event relays shared by the file lists: added, changed, removed.
inline void DeliverFileEvent(_IP2PFileListEvents& sink, IEngineEventSubscriber::Kind kind,
                             uint32_t key) {
  using Kind = IEngineEventSubscriber::Kind;
  switch (kind) {
    case Kind::kAdded: sink.OnFileAdded(key); break;
    case Kind::kChanged: sink.OnFileChanged(key); break;
    case Kind::kRemoved: sink.OnFileRemoved(key); break;
    default: break;
  }
}

}  // namespace OSTREL::COM
