// The rows of the bulk listing methods as they cross the bus: one D-Bus struct per row, its
// members in the order the introspection XML gives. The file lists' rows travel whole in
// GetRows64 and with their sizes' low 32 bits in GetRows, whose signature stays. Both the
// exported lists and the client's remote lists convert through here. Pure; any thread.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <string>
#include <tuple>
#include <type_traits>
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
using WireDownloadRow64 = sdbus::Struct<int32_t, std::string, std::string, std::string, std::string,
                                        std::string, std::string, uint64_t, uint64_t, uint64_t,
                                        uint32_t, uint32_t, uint32_t, bool, bool, std::string>;
using WireSharedRow64 = sdbus::Struct<int32_t, std::string, std::string, std::string, std::string,
                                      std::string, std::string, uint64_t>;

inline uint32_t Low32(uint64_t value) { return static_cast<uint32_t>(value); }

inline WireServerRow ToWire(const SServerRowData& r) {
  return {r.key, r.ip, r.port, r.name, r.description, r.users, r.maxUsers, r.files, r.ping};
}
inline WireDownloadRow ToWire(const SDownloadRowData& r) {
  return {r.key,
          r.hash,
          r.name,
          r.fullPath,
          r.typeName,
          r.creationTime,
          r.lastWriteTime,
          Low32(r.size),
          Low32(r.completed),
          Low32(r.received),
          r.speed,
          r.sources,
          r.completeSources,
          r.paused,
          r.stopped,
          r.failure};
}
inline WireSharedRow ToWire(const SSharedRowData& r) {
  return {r.key,      r.hash,         r.name,          r.fullPath,
          r.typeName, r.creationTime, r.lastWriteTime, Low32(r.size)};
}
inline WireDownloadRow64 ToWire64(const SDownloadRowData& r) {
  return {r.key,        r.hash,      r.name,     r.fullPath, r.typeName, r.creationTime,
          r.lastWriteTime, r.size,   r.completed, r.received, r.speed,  r.sources,
          r.completeSources, r.paused, r.stopped, r.failure};
}
inline WireSharedRow64 ToWire64(const SSharedRowData& r) {
  return {r.key,          r.hash,          r.name, r.fullPath, r.typeName,
          r.creationTime, r.lastWriteTime, r.size};
}

inline void FromWire(const WireServerRow& w, SServerRowData& r) {
  std::tie(r.key, r.ip, r.port, r.name, r.description, r.users, r.maxUsers, r.files, r.ping) = w;
}
// Either form of a file list's row.
template <typename Wire>
requires std::is_same_v<Wire, WireDownloadRow> || std::is_same_v<Wire, WireDownloadRow64>
void FromWire(const Wire& w, SDownloadRowData& r) {
  std::tie(r.key, r.hash, r.name, r.fullPath, r.typeName, r.creationTime, r.lastWriteTime, r.size,
           r.completed, r.received, r.speed, r.sources, r.completeSources, r.paused, r.stopped,
           r.failure) = w;
}
template <typename Wire>
requires std::is_same_v<Wire, WireSharedRow> || std::is_same_v<Wire, WireSharedRow64>
void FromWire(const Wire& w, SSharedRowData& r) {
  std::tie(r.key, r.hash, r.name, r.fullPath, r.typeName, r.creationTime, r.lastWriteTime,
           r.size) = w;
}

// The row type of a list's GetRows.
template <typename List, typename Row>
Row RowTypeOf(HRESULT (List::*)(std::vector<Row>*));

// A list's GetRows as a bus reply in the form `convert` makes: its HRESULT, and its rows when
// it succeeded.
template <typename List, typename Convert>
auto WireRowsOf(List& list, Convert convert) {
  using Row = decltype(RowTypeOf(&List::GetRows));
  std::vector<Row> rows;
  const HRESULT hr = list.GetRows(&rows);
  std::vector<decltype(convert(std::declval<const Row&>()))> wire;
  if (Succeeded(hr)) {
    wire.reserve(rows.size());
    for (const Row& row : rows) wire.push_back(convert(row));
  }
  return std::tuple<int32_t, decltype(wire)>{hr, std::move(wire)};
}
template <typename List>
auto WireRowsOf(List& list) {
  return WireRowsOf(list, [](const auto& row) { return ToWire(row); });
}
template <typename List>
auto WireRowsOf64(List& list) {
  return WireRowsOf(list, [](const auto& row) { return ToWire64(row); });
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
