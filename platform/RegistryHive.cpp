#include "platform/RegistryHive.h"

#include <algorithm>

namespace OSTREL::Platform {

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

bool NamesEqual(std::string_view left, std::string_view right) {
  return left.size() == right.size() && FoldName(left) == FoldName(right);
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('\\', start), path.size());
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

CRegHiveKey* CRegHiveKey::FindSubKey(std::string_view name) {
  const auto found = subKeys_.find(FoldName(name));
  return found == subKeys_.end() ? nullptr : found->second.get();
}

const CRegHiveKey* CRegHiveKey::FindSubKey(std::string_view name) const {
  const auto found = subKeys_.find(FoldName(name));
  return found == subKeys_.end() ? nullptr : found->second.get();
}

CRegHiveKey& CRegHiveKey::CreateSubKey(std::string_view name) {
  auto& slot = subKeys_[FoldName(name)];
  if (!slot) slot = std::make_unique<CRegHiveKey>(std::string(name));
  return *slot;
}

bool CRegHiveKey::DeleteSubKey(std::string_view name) { return subKeys_.erase(FoldName(name)) > 0; }

std::vector<const CRegHiveKey*> CRegHiveKey::SubKeys() const {
  std::vector<const CRegHiveKey*> keys;
  keys.reserve(subKeys_.size());
  for (const auto& [folded, key] : subKeys_) keys.push_back(key.get());
  return keys;
}

const CRegValue* CRegHiveKey::FindValue(std::string_view name) const {
  for (const auto& [stored, value] : values_)
    if (NamesEqual(stored, name)) return &value;
  return nullptr;
}

void CRegHiveKey::SetValue(std::string_view name, CRegValue value) {
  for (auto& [stored, existing] : values_) {
    if (NamesEqual(stored, name)) {
      existing = std::move(value);
      return;
    }
  }
  values_.emplace_back(std::string(name), std::move(value));
}

bool CRegHiveKey::DeleteValue(std::string_view name) {
  const auto found = std::find_if(values_.begin(), values_.end(),
                                  [&](const auto& entry) { return NamesEqual(entry.first, name); });
  if (found == values_.end()) return false;
  values_.erase(found);
  return true;
}

bool CRegHiveKey::operator==(const CRegHiveKey& other) const {
  if (name_ != other.name_ || values_ != other.values_ || subKeys_.size() != other.subKeys_.size())
    return false;
  for (const auto& [folded, key] : subKeys_) {
    const auto found = other.subKeys_.find(folded);
    if (found == other.subKeys_.end() || !(*found->second == *key)) return false;
  }
  return true;
}

CRegHiveKey* CRegHive::FindKey(std::string_view path) {
  CRegHiveKey* key = &root_;
  for (const auto& part : SplitKeyPath(path)) {
    key = key->FindSubKey(part);
    if (key == nullptr) return nullptr;
  }
  return key;
}

const CRegHiveKey* CRegHive::FindKey(std::string_view path) const {
  return const_cast<CRegHive*>(this)->FindKey(path);
}

CRegHiveKey& CRegHive::CreateKey(std::string_view path) {
  CRegHiveKey* key = &root_;
  for (const auto& part : SplitKeyPath(path)) key = &key->CreateSubKey(part);
  return *key;
}

bool CRegHive::DeleteKey(std::string_view path) {
  auto parts = SplitKeyPath(path);
  if (parts.empty()) return false;
  const std::string leaf = parts.back();
  parts.pop_back();
  CRegHiveKey* parent = &root_;
  for (const auto& part : parts) {
    parent = parent->FindSubKey(part);
    if (parent == nullptr) return false;
  }
  return parent->DeleteSubKey(leaf);
}

}  // namespace OSTREL::Platform
