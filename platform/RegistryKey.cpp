#include "platform/RegistryKey.h"

namespace OSTREL::Platform {
namespace {

size_t CountCodePoints(std::string_view text) {
  size_t count = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

}  // namespace

std::optional<CRegKey> CRegKey::Create(CRegistry& registry, RegRoot root, std::string_view path) {
  if (!registry.CreateKey(root, path)) return std::nullopt;
  return CRegKey(registry, root, std::string(path));
}

std::optional<CRegKey> CRegKey::Open(CRegistry& registry, RegRoot root, std::string_view path) {
  if (!registry.KeyExists(root, path)) return std::nullopt;
  return CRegKey(registry, root, std::string(path));
}

std::optional<CRegKey> CRegKey::CreateSubKey(std::string_view name) const {
  return Create(*registry_, root_, path_ + "\\" + std::string(name));
}

std::optional<CRegValue> CRegKey::QueryValue(std::string_view name) const {
  return registry_->QueryValue(root_, path_, name);
}

std::optional<std::string> CRegKey::QueryString(std::string_view name, size_t maxChars) const {
  const auto value = QueryValue(name);
  if (!value || (value->Type() != kRegSz && value->Type() != kRegExpandSz)) return std::nullopt;
  const std::string* text = value->AsString();
  if (text == nullptr || CountCodePoints(*text) > maxChars) return std::nullopt;
  return *text;
}

std::optional<uint32_t> CRegKey::QueryDword(std::string_view name) const {
  const auto value = QueryValue(name);
  if (!value) return std::nullopt;
  return value->AsDword();
}

std::optional<std::vector<uint8_t>> CRegKey::QueryBinary(std::string_view name,
                                                         size_t maxBytes) const {
  const auto value = QueryValue(name);
  if (!value || value->Type() != kRegBinary) return std::nullopt;
  const auto* bytes = value->AsBytes();
  if (bytes == nullptr || bytes->size() > maxBytes) return std::nullopt;
  return *bytes;
}

bool CRegKey::SetString(std::string_view name, std::string text) const {
  return SetValue(name, CRegValue::String(std::move(text)));
}

bool CRegKey::SetDword(std::string_view name, uint32_t number) const {
  return SetValue(name, CRegValue::Dword(number));
}

bool CRegKey::SetBinary(std::string_view name, std::vector<uint8_t> bytes) const {
  return SetValue(name, CRegValue::Binary(std::move(bytes)));
}

bool CRegKey::SetValue(std::string_view name, CRegValue value) const {
  return registry_->SetValue(root_, path_, name, std::move(value));
}

bool CRegKey::DeleteValue(std::string_view name) const {
  return registry_->DeleteValue(root_, path_, name);
}

}  // namespace OSTREL::Platform
