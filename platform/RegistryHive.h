// The in-memory tree of one root hive: keys with case-insensitive names (the stored case is
// kept) holding named values in the order they were first set. The empty value name is the
// key's default value ("@" in a file). Not thread-safe: CRegistry guards each hive.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/RegistryValue.h"

namespace OSTREL::Platform {

// ASCII case folding, the comparison used for key and value names.
std::string FoldName(std::string_view name);
bool NamesEqual(std::string_view left, std::string_view right);

// Splits "A\B\\C\" into {"A", "B", "C"}; empty components are dropped.
std::vector<std::string> SplitKeyPath(std::string_view path);

class CRegHiveKey {
 public:
  explicit CRegHiveKey(std::string name = {}) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }

  CRegHiveKey* FindSubKey(std::string_view name);
  const CRegHiveKey* FindSubKey(std::string_view name) const;
  // Opens the sub-key, creating it when missing.
  CRegHiveKey& CreateSubKey(std::string_view name);
  bool DeleteSubKey(std::string_view name);
  // Sub-keys in case-insensitive name order.
  std::vector<const CRegHiveKey*> SubKeys() const;

  const CRegValue* FindValue(std::string_view name) const;
  // Replaces the value in place (keeping its position and stored name) or appends it.
  void SetValue(std::string_view name, CRegValue value);
  bool DeleteValue(std::string_view name);
  const std::vector<std::pair<std::string, CRegValue>>& Values() const { return values_; }

  bool operator==(const CRegHiveKey& other) const;

 private:
  std::string name_;
  std::map<std::string, std::unique_ptr<CRegHiveKey>> subKeys_;  // by folded name
  std::vector<std::pair<std::string, CRegValue>> values_;
};

// A root hive: its file name stem ("HKEY_LOCAL_MACHINE") and its tree.
class CRegHive {
 public:
  explicit CRegHive(std::string rootName) : rootName_(std::move(rootName)) {}

  const std::string& RootName() const { return rootName_; }
  CRegHiveKey& Root() { return root_; }
  const CRegHiveKey& Root() const { return root_; }

  CRegHiveKey* FindKey(std::string_view path);
  const CRegHiveKey* FindKey(std::string_view path) const;
  CRegHiveKey& CreateKey(std::string_view path);
  // Deletes the key with everything below it; the root itself cannot be deleted.
  bool DeleteKey(std::string_view path);

 private:
  std::string rootName_;
  CRegHiveKey root_;
};

}  // namespace OSTREL::Platform
