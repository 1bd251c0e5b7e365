// The desktop entry of tarnshell (tarnshell.desktop): the launcher that makes it the handler
// of ed2k://, p2p:// and tarn:// links, and, in keys of its own, the record of what
// registration found before it changed anything, so that unregistration can put it back.
// Pure text functions; any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/MimeAppsList.h"

namespace tarn::shell {

inline constexpr std::string_view kDesktopFileName = "tarnshell.desktop";

// The link types tarnshell handles.
const std::vector<std::string>& LinkMimeTypes();

// What registration created and what it replaced.
struct SRegistrationRecord {
  bool createdApplicationsFolder = false;
  bool createdMimeApps = false;
  bool createdMimeCache = false;
  SMimeAppsState mimeApps;
  // The topmost registry key registration created (with '/' between its components); empty
  // when every key was there.
  std::string createdRegistryKey;
  bool operator==(const SRegistrationRecord&) const = default;
};

// One argument of an Exec line, quoted and escaped where the desktop entry format wants it.
std::string QuoteExecArgument(std::string_view argument);

std::string DesktopEntryText(const std::filesystem::path& program,
                             const SRegistrationRecord& record);

// The record a desktop entry holds; nothing when it holds none.
std::optional<SRegistrationRecord> ReadRegistrationRecord(std::string_view desktopEntry);

}  // namespace tarn::shell
