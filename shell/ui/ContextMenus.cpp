#include "shell/ui/ContextMenus.h"

#include <algorithm>

namespace tarn::shell::ui {
namespace {

SMenuEntry Entry(int textId, std::string verb, bool isDefault = false) {
  return {textId, std::move(verb), isDefault, true};
}
SMenuEntry Separator() { return {}; }

}  // namespace

std::vector<SMenuEntry> ContextMenu(EFolder folder, std::span<const SDownloadState> chosen) {
  switch (folder) {
    case EFolder::kRoot:
      return {Entry(971, "open", true), Entry(901, "properties"), Entry(703, "about")};
    case EFolder::kIncoming: {
      const bool anyRunning = std::any_of(chosen.begin(), chosen.end(),
                                          [](const auto& s) { return !s.paused && !s.stopped; });
      const bool anyHeld = std::any_of(chosen.begin(), chosen.end(),
                                       [](const auto& s) { return s.paused || s.stopped; });
      std::vector<SMenuEntry> menu = {Entry(951, "pause"),
                                      Entry(952, "stop"),
                                      Entry(953, "resume"),
                                      Entry(954, "cancel"),
                                      Entry(901, "properties", true),
                                      Separator(),
                                      Entry(703, "about")};
      menu[0].enabled = menu[1].enabled = anyRunning;
      menu[2].enabled = anyHeld;
      return menu;
    }
    case EFolder::kShared:
      // Our own files: opened by the desktop's program for their type.
      return {Entry(971, "open", true), Entry(901, "properties"), Separator(), Entry(703, "about")};
    case EFolder::kSearchResults:
      return {Entry(921, "download", true), Entry(901, "properties"), Separator(),
              Entry(703, "about")};
  }
  return {};
}

}  // namespace tarn::shell::ui
