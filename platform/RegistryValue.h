// One typed registry value: a string (REG_SZ, REG_EXPAND_SZ), a string list (REG_MULTI_SZ), a
// 32-bit number (REG_DWORD) or raw bytes (REG_BINARY and any other type, kept as stored).
// Strings are UTF-8. A plain value type; no thread-safety of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
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
  CRegValue() = default;

  static CRegValue String(std::string text) {
    CRegValue value(kRegSz, Kind::kText);
    value.text_ = std::move(text);
    return value;
  }
  static CRegValue ExpandString(std::string text) {
    CRegValue value = String(std::move(text));
    value.type_ = kRegExpandSz;
    return value;
  }
  static CRegValue MultiString(std::vector<std::string> list) {
    CRegValue value(kRegMultiSz, Kind::kList);
    value.list_ = std::move(list);
    return value;
  }
  static CRegValue Dword(uint32_t number) {
    CRegValue value(kRegDword, Kind::kNumber);
    value.number_ = number;
    return value;
  }
  // Raw bytes under `type`; meant for REG_BINARY and for types this class does not
  // interpret.
  static CRegValue Binary(std::vector<uint8_t> bytes, uint32_t type = kRegBinary) {
    CRegValue value(type, Kind::kBytes);
    value.bytes_ = std::move(bytes);
    return value;
  }

  uint32_t Type() const { return type_; }

  // Each accessor answers only for values of its own kind.
  const std::string* AsString() const { return kind_ == Kind::kText ? &text_ : nullptr; }
  const std::vector<std::string>* AsMultiString() const {
    return kind_ == Kind::kList ? &list_ : nullptr;
  }
  std::optional<uint32_t> AsDword() const {
    if (kind_ != Kind::kNumber) return std::nullopt;
    return number_;
  }
  const std::vector<uint8_t>* AsBytes() const { return kind_ == Kind::kBytes ? &bytes_ : nullptr; }

  bool operator==(const CRegValue&) const = default;

 private:
  enum class Kind { kText, kList, kNumber, kBytes };
  CRegValue(uint32_t type, Kind kind) : type_(type), kind_(kind) {}

  uint32_t type_ = kRegBinary;
  Kind kind_ = Kind::kBytes;
  std::string text_;
  std::vector<std::string> list_;
  uint32_t number_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace OSTREL::Platform
