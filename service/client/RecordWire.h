// A list record as it crosses the bus: the D-Bus structure of its fields in their order, and
// the conversions both ways. Any thread.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <tuple>
#include <type_traits>
#include <utility>

namespace OSTREL::COM {

template <typename Tuple>
struct SWireStruct;
template <typename... T>
struct SWireStruct<std::tuple<T&...>> {
  using Type = sdbus::Struct<std::remove_const_t<T>...>;
};

template <typename Record>
using RecordWire = typename SWireStruct<decltype(std::declval<Record&>().Tie())>::Type;

template <typename Record>
RecordWire<Record> ToWire(const Record& record) {
  return std::apply([](const auto&... fields) { return RecordWire<Record>(fields...); },
                    record.Tie());
}

template <typename Record>
Record FromWire(const RecordWire<Record>& wire) {
  Record record;
  record.Tie() = wire;
  return record;
}

}  // namespace OSTREL::COM
