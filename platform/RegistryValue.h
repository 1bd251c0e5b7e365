// One typed registry value: a string (REG_SZ, REG_EXPAND_SZ), a string list (REG_MULTI_SZ), a
// 32-bit number (REG_DWORD) or raw bytes (REG_BINARY and any other type, kept as stored).
// Strings are UTF-8. A plain value type; no thread-safety of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace OSTREL::Platform {

// The registry's own type numbers, as they appear in hex(N) values.
enum RegType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
};

class CRegValue {
 public:
  CRegValue() : type_(kRegBinary), data_(std::vector<uint8_t>{}) {}

  static CRegValue String(std::string text) { return CRegValue(kRegSz, std::move(text)); }
  static CRegValue ExpandString(std::string text) {
    return CRegValue(kRegExpandSz, std::move(text));
  }
  static CRegValue MultiString(std::vector<std::string> list) {
    return CRegValue(kRegMultiSz, std::move(list));
  }
  static CRegValue Dword(uint32_t number) { return CRegValue(kRegDword, number); }
  // Raw bytes under `type`; a string, list or number type given here is stored as raw bytes
  // only for types this class does not interpret.
  static CRegValue Binary(std::vector<uint8_t> bytes, uint32_t type = kRegBinary) {
    return CRegValue(type, std::move(bytes));
  }

  uint32_t Type() const { return type_; }

  // Each accessor answers only for values of its own kind.
  const std::string* AsString() const { return std::get_if<std::string>(&data_); }
  const std::vector<std::string>* AsMultiString() const {
    return std::get_if<std::vector<std::string>>(&data_);
  }
  std::optional<uint32_t> AsDword() const {
    if (const auto* number = std::get_if<uint32_t>(&data_)) return *number;
    return std::nullopt;
  }
  const std::vector<uint8_t>* AsBytes() const { return std::get_if<std::vector<uint8_t>>(&data_); }

  bool operator==(const CRegValue&) const = default;

 private:
  using Data = std::variant<std::string, std::vector<std::string>, uint32_t, std::vector<uint8_t>>;
  CRegValue(uint32_t type, Data data) : type_(type), data_(std::move(data)) {}

  uint32_t type_;
  Data data_;
};

}  // namespace OSTREL::Platform
