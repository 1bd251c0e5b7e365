// The rows of the bulk listing methods as they cross the bus: one D-Bus struct per row, its
// members in the order the introspection XML gives. Both the exported lists and the client's
// remote lists convert through here. Pure; any thread.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <string>
#include <tuple>
#include <vector>

#include "service/automation/ListRows.h"

namespace OSTREL::COM {

using WireServerRow = sdbus::Struct<int32_t, uint32_t, uint16_t, std::string, std::string,
                                    uint32_t, uint32_t, uint32_t, uint32_t>;
using WireDownloadRow =
    sdbus::Struct<int32_t, std::string, std::string, std::string, std::string, std::string,
                  std::string, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, bool,
                  bool, std::string>;
using WireSharedRow = sdbus::Struct<int32_t, std::string, std::string, std::string, std::string,
                                    std::string, std::string, uint32_t>;

inline WireServerRow ToWire(const SServerRowData& r) {
  return {r.key, r.ip, r.port, r.name, r.description, r.users, r.maxUsers, r.files, r.ping};
}
inline WireDownloadRow ToWire(const SDownloadRowData& r) {
  return {r.key,        r.hash,      r.name,     r.fullPath, r.typeName, r.creationTime,
          r.lastWriteTime, r.size,   r.completed, r.received, r.speed,  r.sources,
          r.completeSources, r.paused, r.stopped, r.failure};
}
inline WireSharedRow ToWire(const SSharedRowData& r) {
  return {r.key,          r.hash,          r.name, r.fullPath, r.typeName,
          r.creationTime, r.lastWriteTime, r.size};
}

inline void FromWire(const WireServerRow& w, SServerRowData& r) {
  std::tie(r.key, r.ip, r.port, r.name, r.description, r.users, r.maxUsers, r.files, r.ping) = w;
}
inline void FromWire(const WireDownloadRow& w, SDownloadRowData& r) {
  std::tie(r.key, r.hash, r.name, r.fullPath, r.typeName, r.creationTime, r.lastWriteTime, r.size,
           r.completed, r.received, r.speed, r.sources, r.completeSources, r.paused, r.stopped,
           r.failure) = w;
}
inline void FromWire(const WireSharedRow& w, SSharedRowData& r) {
  std::tie(r.key, r.hash, r.name, r.fullPath, r.typeName, r.creationTime, r.lastWriteTime,
           r.size) = w;
}

// The row type of a list's GetRows.
template <typename List, typename Row>
Row RowTypeOf(HRESULT (List::*)(std::vector<Row>*));

// A list's GetRows as a bus reply: its HRESULT, and its rows when it succeeded.
template <typename List>
auto WireRowsOf(List& list) {
  using Row = decltype(RowTypeOf(&List::GetRows));
  std::vector<Row> rows;
  const HRESULT hr = list.GetRows(&rows);
  std::vector<decltype(ToWire(std::declval<const Row&>()))> wire;
  if (Succeeded(hr)) {
    wire.reserve(rows.size());
    for (const Row& row : rows) wire.push_back(ToWire(row));
  }
  return std::tuple<int32_t, decltype(wire)>{hr, std::move(wire)};
}

// A bus reply of rows into `rows`: its HRESULT.
template <typename Wire, typename Row>
HRESULT RowsFromWire(const std::tuple<int32_t, std::vector<Wire>>& reply, std::vector<Row>& rows) {
  const auto& [hr, wire] = reply;
  rows.resize(wire.size());
  for (size_t i = 0; i < wire.size(); ++i) FromWire(wire[i], rows[i]);
  return hr;
}

}  // namespace OSTREL::COM
