// A small JSON writer (the listings of `tarn --json`, the web page's data): objects, arrays,
// strings, numbers and booleans, commas placed by itself. Strings come from the network (file
// and server names), so they are escaped fully: quotes, backslashes and control characters,
// and every byte that is not part of well-formed UTF-8 becomes U+FFFD, so the output always
// parses.
// One thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace OSTREL::Util {

class CJsonWriter {
 public:
  CJsonWriter& BeginObject();
  CJsonWriter& EndObject();
  CJsonWriter& BeginArray();
  CJsonWriter& EndArray();
  // The name of the next member of the open object.
  CJsonWriter& Key(std::string_view name);
  CJsonWriter& String(std::string_view value);
  CJsonWriter& Number(int64_t value);
  CJsonWriter& Unsigned(uint64_t value);
  // A finite number with two decimals (JSON has no NaN or infinity: those write 0).
  CJsonWriter& Decimal(double value);
  CJsonWriter& Bool(bool value);
  CJsonWriter& Null();

  // Key and value in one.
  template <typename Value>
  CJsonWriter& Member(std::string_view name, const Value& value);

  const std::string& Text() const { return text_; }

 private:
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);

  std::string text_;
  // Per open container: whether it has a member yet.
  std::vector<bool> hasMember_;
  bool afterKey_ = false;
};

// `text` as a quoted JSON string.
std::string JsonQuote(std::string_view text);

template <typename Value>
CJsonWriter& CJsonWriter::Member(std::string_view name, const Value& value) {
  Key(name);
  if constexpr (std::is_same_v<Value, bool>) {
    return Bool(value);
  } else if constexpr (std::is_convertible_v<Value, std::string_view>) {
    return String(value);
  } else if constexpr (std::is_floating_point_v<Value>) {
    return Decimal(value);
  } else if constexpr (std::is_unsigned_v<Value>) {
    return Unsigned(value);
  } else {
    return Number(value);
  }
}

}  // namespace OSTREL::Util
