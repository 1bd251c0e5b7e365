#include "shell/ui/FolderTree.h"

#include <cctype>

#include "platform/RegistryKey.h"
#include "shell/ShellStrings.h"

namespace tarn::shell::ui {
namespace {

using OSTREL::Platform::CRegKey;
using OSTREL::Platform::RegRoot;

constexpr size_t kFieldChars = 259;

std::string Cut(std::string text) {
  // Count code points, not bytes, and never split a sequence.
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (chars++ == kFieldChars) return text.substr(0, i);
  }
  return text;
}

// A string of any of the three string types; a list reads as its lines joined.
std::string StringValue(const CRegKey& key, std::string_view name) {
  const auto value = key.QueryValue(name);
  if (!value) return {};
  if (const std::string* text = value->AsString()) return Cut(*text);
  if (const auto* list = value->AsMultiString()) {
    std::string joined;
    for (const std::string& line : *list) joined += (joined.empty() ? "" : " ") + line;
    return Cut(joined);
  }
  return {};
}

}  // namespace

bool IsClassIdentifier(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

std::vector<SRootChild> RootChildren(OSTREL::Platform::CRegistry& registry) {
  std::vector<SRootChild> children = {
      {0, std::string(kIncomingId), std::string(ShellString(kStrIncomingFolder)), "", "", "",
       0x28000040},
      {1, std::string(kSharedId), std::string(ShellString(kStrSharedFolder)), "", "", "",
       0x28000140},
  };
  const auto names = registry.EnumSubKeys(RegRoot::kCurrentUser, kFoldersKey);
  if (!names) return children;
  for (const std::string& name : *names) {
    if (!IsClassIdentifier(name)) continue;
    const auto key =
        CRegKey::Open(registry, RegRoot::kCurrentUser, std::string(kFoldersKey) + "\\" + name);
    if (!key) continue;
    SRootChild child{static_cast<uint32_t>(children.size()),
                     name,
                     StringValue(*key, "Text"),
                     StringValue(*key, "Comment"),
                     "",
                     StringValue(*key, "Icon"),
                     key->QueryDword("Attribute").value_or(0)};
    child.attributes |= 0x28000000;
    if (child.text.empty()) child.text = name;
    children.push_back(std::move(child));
  }
  return children;
}

std::optional<SFolderRef> ParseFolderName(std::string_view name) {
  if (const auto folder = FolderNamed(name)) return SFolderRef{*folder, {}};
  if (IsClassIdentifier(name)) return SFolderRef{EFolder::kRoot, std::string(name)};
  return std::nullopt;
}

}  // namespace tarn::shell::ui
