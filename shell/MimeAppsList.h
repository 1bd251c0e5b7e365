// The entries TARN makes in a mimeapps.list, the freedesktop file that names each type's
// default application: setting them (laid out as xdg-mime lays them out), noting what they
// replaced, and taking them out again so that the file reads as it did before. Pure text
// functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::shell {

inline constexpr std::string_view kDefaultApplications = "Default Applications";
inline constexpr std::string_view kAddedAssociations = "Added Associations";

// One entry's value before TARN set it; `value` is empty when the entry did not exist.
struct SMimeEntry {
  std::string section;  // without the brackets
  std::string type;
  std::optional<std::string> value;
  bool operator==(const SMimeEntry&) const = default;
};

// What a registration found before it changed anything: the entries of `types` in both
// sections that name applications, and which of the two sections existed.
struct SMimeAppsState {
  std::vector<SMimeEntry> entries;
  std::vector<std::string> sections;
  bool operator==(const SMimeAppsState&) const = default;
};

SMimeAppsState ReadMimeAppsState(std::string_view text, const std::vector<std::string>& types);

// The value of `type` in `section`; nothing when the section or the entry is missing.
std::optional<std::string> MimeAppsValue(std::string_view text, std::string_view section,
                                         std::string_view type);

// `text` with `type`=`application` in the default section for every type, replacing an
// entry that is there, the section added at the end when missing.
std::string SetDefaultApplications(std::string_view text, std::string_view application,
                                   const std::vector<std::string>& types);

// `text` with every entry of `types` that names `application` put back as `before` found it
// (or taken out), and each section `before` lacks taken out again once it is empty.
std::string RestoreMimeApps(std::string_view text, std::string_view application,
                            const std::vector<std::string>& types, const SMimeAppsState& before);

// Whether `text` holds nothing but blank lines and empty sections.
bool IsEmptyMimeApps(std::string_view text);

}  // namespace tarn::shell
