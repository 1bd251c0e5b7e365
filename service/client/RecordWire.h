// A list record as it crosses the bus: the D-Bus structure of its fields in their order, and
// the conversions both ways; whole, or narrow, where the 64-bit sizes travel as their low 32
// bits (the records' first methods, whose signatures stay). Any thread.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>
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

template <typename T>
struct SNarrow {
  using Type = T;
};
template <>
struct SNarrow<uint64_t> {
  using Type = uint32_t;
};
template <typename Tuple>
struct SNarrowStruct;
template <typename... T>
struct SNarrowStruct<std::tuple<T&...>> {
  using Type = sdbus::Struct<typename SNarrow<std::remove_const_t<T>>::Type...>;
};

template <typename Record>
using NarrowRecordWire = typename SNarrowStruct<decltype(std::declval<Record&>().Tie())>::Type;

template <typename Record>
RecordWire<Record> ToWire(const Record& record) {
  return std::apply([](const auto&... fields) { return RecordWire<Record>(fields...); },
                    record.Tie());
}

template <typename Record>
NarrowRecordWire<Record> ToNarrowWire(const Record& record) {
  return std::apply(
      [](const auto&... fields) {
        return NarrowRecordWire<Record>(
            static_cast<typename SNarrow<std::decay_t<decltype(fields)>>::Type>(fields)...);
      },
      record.Tie());
}

// From either form; a narrow one widens its sizes.
template <typename Record, typename Wire>
Record FromWire(const Wire& wire) {
  Record record;
  record.Tie() = wire;
  return record;
}

}  // namespace OSTREL::COM
