// The records of a collection, read through its own items, written once for the three file
// lists. A list may answer for keys it no longer holds (Departed). Any thread.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "service/automation/FileRecords.h"

namespace OSTREL::COM {

template <typename Collection, typename Item, typename Record>
class CRecordsImplT : public Collection, public IP2PRecordsT<Record> {
 public:
  using Collection::Collection;

  HRESULT GetRecords(std::vector<Record>* records) override {
    if (records == nullptr) return E_POINTER;
    records->clear();
    int32_t count = 0;
    if (const HRESULT hr = this->get_Count(&count); !Succeeded(hr)) return hr;
    records->reserve(static_cast<size_t>(count));
    for (int32_t position = 1; position <= count; ++position) {
      std::shared_ptr<Item> item;
      if (Succeeded(this->get_Item(position, &item)) && item) records->push_back(ReadRecord(*item));
    }
    return S_OK;
  }

  HRESULT GetRecordsByKey(const std::vector<uint32_t>& keys,
                          std::vector<Record>* records) override {
    if (records == nullptr) return E_POINTER;
    records->clear();
    for (const uint32_t key : keys) {
      // An item that has left is told as it left even while the engine is still taking it
      // off the list: its removal is announced first.
      if (auto gone = Departed(key)) {
        records->push_back(std::move(*gone));
        continue;
      }
      std::shared_ptr<Item> item;
      if (Succeeded(this->get_ItemByKey(static_cast<int32_t>(key), &item)) && item)
        records->push_back(ReadRecord(*item));
    }
    return S_OK;
  }

 protected:
  virtual std::optional<Record> Departed(uint32_t /*key*/) { return std::nullopt; }
};

}  // namespace OSTREL::COM
