#include "shell/MimeAppsList.h"

#include <algorithm>

namespace tarn::shell {
namespace {

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The lines as a text that ends as `original` ends (a file without a final line break keeps
// lacking it).
std::string Joined(const std::vector<std::string>& lines, std::string_view original) {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  if (!original.empty() && original.back() != '\n' && !text.empty()) text.pop_back();
  return text;
}

bool IsHeader(std::string_view line) { return !line.empty() && line.front() == '['; }

std::string SectionOf(std::string_view header) {
  const size_t close = header.find(']');
  return std::string(
      header.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

// The key of an entry line ("type=value"), or nothing.
std::optional<std::string_view> KeyOf(std::string_view line) {
  const size_t equals = line.find('=');
  if (IsHeader(line) || line.empty() || line.front() == '#' || equals == std::string_view::npos)
    return std::nullopt;
  return line.substr(0, equals);
}

// Lines [header, end) of `section`: the index of its header and one past its last line.
std::optional<std::pair<size_t, size_t>> FindSection(const std::vector<std::string>& lines,
                                                     std::string_view section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!IsHeader(lines[i]) || SectionOf(lines[i]) != section) continue;
    size_t end = i + 1;
    while (end < lines.size() && !IsHeader(lines[end])) ++end;
    return std::make_pair(i, end);
  }
  return std::nullopt;
}

std::optional<size_t> FindEntry(const std::vector<std::string>& lines, std::string_view section,
                                std::string_view type) {
  const auto range = FindSection(lines, section);
  if (!range) return std::nullopt;
  for (size_t i = range->first + 1; i < range->second; ++i)
    if (KeyOf(lines[i]) == type) return i;
  return std::nullopt;
}

// Whether a value ("a.desktop;b.desktop;") lists `application`.
bool Names(std::string_view value, std::string_view application) {
  while (!value.empty()) {
    const size_t semicolon = value.find(';');
    if (value.substr(0, semicolon) == application) return true;
    if (semicolon == std::string_view::npos) break;
    value.remove_prefix(semicolon + 1);
  }
  return false;
}

const SMimeEntry* EntryBefore(const SMimeAppsState& before, std::string_view section,
                              std::string_view type) {
  for (const SMimeEntry& entry : before.entries)
    if (entry.section == section && entry.type == type) return &entry;
  return nullptr;
}

// Drops an empty section (and the blank line before it, as xdg-mime adds one).
void DropSectionIfEmpty(std::vector<std::string>& lines, std::string_view section) {
  const auto range = FindSection(lines, section);
  if (!range) return;
  for (size_t i = range->first + 1; i < range->second; ++i)
    if (!lines[i].empty()) return;
  size_t first = range->first;
  if (first > 0 && lines[first - 1].empty()) --first;
  // Blank lines that ended the section stay: they separated it from what follows.
  lines.erase(lines.begin() + static_cast<ptrdiff_t>(first),
              lines.begin() + static_cast<ptrdiff_t>(range->first + 1));
}

}  // namespace

std::optional<std::string> MimeAppsValue(std::string_view text, std::string_view section,
                                         std::string_view type) {
  const auto lines = Lines(text);
  const auto at = FindEntry(lines, section, type);
  if (!at) return std::nullopt;
  return lines[*at].substr(type.size() + 1);
}

SMimeAppsState ReadMimeAppsState(std::string_view text, const std::vector<std::string>& types) {
  const auto lines = Lines(text);
  SMimeAppsState state;
  for (const std::string_view section : {kDefaultApplications, kAddedAssociations}) {
    if (!FindSection(lines, section)) continue;
    state.sections.emplace_back(section);
    for (const std::string& type : types)
      if (const auto at = FindEntry(lines, section, type))
        state.entries.push_back({std::string(section), type, lines[*at].substr(type.size() + 1)});
  }
  return state;
}

std::string SetDefaultApplications(std::string_view text, std::string_view application,
                                   const std::vector<std::string>& types) {
  auto lines = Lines(text);
  for (const std::string& type : types) {
    const std::string entry = type + "=" + std::string(application);
    if (const auto at = FindEntry(lines, kDefaultApplications, type)) {
      lines[*at] = entry;
      continue;
    }
    if (const auto range = FindSection(lines, kDefaultApplications)) {
      // After the section's last entry, before the blank lines that end it.
      size_t at = range->second;
      while (at > range->first + 1 && lines[at - 1].empty()) --at;
      lines.insert(lines.begin() + static_cast<ptrdiff_t>(at), entry);
      continue;
    }
    lines.emplace_back();
    lines.push_back("[" + std::string(kDefaultApplications) + "]");
    lines.push_back(entry);
  }
  return Joined(lines, text);
}

std::string RestoreMimeApps(std::string_view text, std::string_view application,
                            const std::vector<std::string>& types, const SMimeAppsState& before) {
  auto lines = Lines(text);
  for (const std::string_view section : {kDefaultApplications, kAddedAssociations}) {
    for (const std::string& type : types) {
      const auto at = FindEntry(lines, section, type);
      if (!at || !Names(std::string_view(lines[*at]).substr(type.size() + 1), application))
        continue;
      const SMimeEntry* earlier = EntryBefore(before, section, type);
      if (earlier != nullptr && earlier->value) {
        lines[*at] = type + "=" + *earlier->value;
      } else {
        lines.erase(lines.begin() + static_cast<ptrdiff_t>(*at));
      }
    }
    if (std::find(before.sections.begin(), before.sections.end(), section) == before.sections.end())
      DropSectionIfEmpty(lines, section);
  }
  return Joined(lines, text);
}

bool IsEmptyMimeApps(std::string_view text) {
  const auto lines = Lines(text);
  return std::all_of(lines.begin(), lines.end(),
                     [](const std::string& line) { return line.empty() || IsHeader(line); });
}

}  // namespace tarn::shell
