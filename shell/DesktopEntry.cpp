#include "shell/DesktopEntry.h"

namespace tarn::shell {
namespace {

constexpr std::string_view kRecordMark = "X-TARN-Registered";
constexpr std::string_view kCreatedKey = "X-TARN-Created";
constexpr std::string_view kRegistryKey = "X-TARN-Created-Registry-Key";
constexpr std::string_view kSectionsKey = "X-TARN-MimeApps-Sections";
constexpr std::string_view kEntryKey = "X-TARN-MimeApps-Entry-";

std::vector<std::string_view> SplitAt(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    const size_t at = text.find(separator);
    if (at != 0) parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + 1);
  }
  return parts;
}

bool Contains(const std::vector<std::string_view>& parts, std::string_view part) {
  for (const auto p : parts)
    if (p == part) return true;
  return false;
}

std::optional<std::string_view> ValueOf(std::string_view text, std::string_view key) {
  for (const auto line : SplitAt(text, '\n'))
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
      return line.substr(key.size() + 1);
  return std::nullopt;
}

}  // namespace

const std::vector<std::string>& LinkMimeTypes() {
  static const std::vector<std::string> types{"x-scheme-handler/ed2k", "x-scheme-handler/p2p",
                                              "x-scheme-handler/tarn"};
  return types;
}

std::string QuoteExecArgument(std::string_view argument) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string text;
  if (argument.find_first_of(kReserved) == std::string_view::npos) {
    text = argument;
  } else {
    text = "\"";
    for (const char c : argument) {
      if (c == '"' || c == '`' || c == '$' || c == '\\') text += '\\';
      text += c;
    }
    text += '"';
  }
  // The key file level: a backslash is written twice, a percent sign is a field code.
  std::string escaped;
  for (const char c : text) {
    if (c == '\\') escaped += '\\';
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return escaped;
}

std::string DesktopEntryText(const std::filesystem::path& program,
                             const SRegistrationRecord& record) {
  std::string types;
  for (const std::string& type : LinkMimeTypes()) types += type + ";";
  std::string created;
  if (record.createdApplicationsFolder) created += "applications;";
  if (record.createdMimeApps) created += "mimeapps.list;";
  if (record.createdMimeCache) created += "mimeinfo.cache;";
  std::string sections;
  for (const std::string& section : record.mimeApps.sections) sections += section + ";";

  std::string text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Version=1.0\n"
      "Name=TARN\n"
      "GenericName=eD2K Link Handler\n"
      "Comment=Starts the downloads of ed2k://, p2p:// and tarn:// links in TARN\n"
      "Exec=" +
      QuoteExecArgument(program.string()) +
      " ProtocolHandler %u\n"
      "Terminal=false\n"
      "NoDisplay=true\n"
      "Categories=Network;FileTransfer;P2P;\n"
      "MimeType=" +
      types + "\n" + std::string(kRecordMark) + "=true\n" + std::string(kCreatedKey) + "=" +
      created + "\n" + std::string(kRegistryKey) + "=" + record.createdRegistryKey + "\n" +
      std::string(kSectionsKey) + "=" + sections + "\n";
  int n = 0;
  for (const SMimeEntry& entry : record.mimeApps.entries)
    text += std::string(kEntryKey) + std::to_string(++n) + "=" + entry.section + "|" + entry.type +
            "|" + entry.value.value_or("") + "\n";
  return text;
}

std::optional<SRegistrationRecord> ReadRegistrationRecord(std::string_view desktopEntry) {
  if (ValueOf(desktopEntry, kRecordMark) != "true") return std::nullopt;
  SRegistrationRecord record;
  const auto created = SplitAt(ValueOf(desktopEntry, kCreatedKey).value_or(""), ';');
  record.createdApplicationsFolder = Contains(created, "applications");
  record.createdMimeApps = Contains(created, "mimeapps.list");
  record.createdMimeCache = Contains(created, "mimeinfo.cache");
  record.createdRegistryKey = ValueOf(desktopEntry, kRegistryKey).value_or("");
  for (const auto section : SplitAt(ValueOf(desktopEntry, kSectionsKey).value_or(""), ';'))
    record.mimeApps.sections.emplace_back(section);
  for (int n = 1;; ++n) {
    const auto value = ValueOf(desktopEntry, std::string(kEntryKey) + std::to_string(n));
    if (!value) break;
    const size_t first = value->find('|');
    const size_t second = value->find('|', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) break;
    record.mimeApps.entries.push_back({std::string(value->substr(0, first)),
                                       std::string(value->substr(first + 1, second - first - 1)),
                                       std::string(value->substr(second + 1))});
  }
  return record;
}

}  // namespace tarn::shell
