// A handle on one key of a CRegistry, in the manner of an open HKEY: typed reads that fail
// when the value is missing, of another type or too long, and writes that report success.
// As thread-safe as the registry it refers to; the registry must outlive the handle.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace OSTREL::Platform {

class CRegKey {
 public:
  // Opens the key, creating it (and its parents) when missing.
  static std::optional<CRegKey> Create(CRegistry& registry, RegRoot root, std::string_view path);
  // Opens an existing key.
  static std::optional<CRegKey> Open(CRegistry& registry, RegRoot root, std::string_view path);

  std::optional<CRegKey> CreateSubKey(std::string_view name) const;
  const std::string& Path() const { return path_; }

  // REG_SZ or REG_EXPAND_SZ of at most `maxChars` characters (code points).
  std::optional<std::string> QueryString(std::string_view name, size_t maxChars) const;
  std::optional<uint32_t> QueryDword(std::string_view name) const;
  // REG_BINARY of at most `maxBytes` bytes.
  std::optional<std::vector<uint8_t>> QueryBinary(std::string_view name, size_t maxBytes) const;
  std::optional<CRegValue> QueryValue(std::string_view name) const;

  bool SetString(std::string_view name, std::string text) const;
  bool SetDword(std::string_view name, uint32_t number) const;
  bool SetBinary(std::string_view name, std::vector<uint8_t> bytes) const;
  bool SetValue(std::string_view name, CRegValue value) const;
  bool DeleteValue(std::string_view name) const;

 private:
  CRegKey(CRegistry& registry, RegRoot root, std::string path)
      : registry_(&registry), root_(root), path_(std::move(path)) {}

  CRegistry* registry_;
  RegRoot root_;
  std::string path_;
};

}  // namespace OSTREL::Platform
