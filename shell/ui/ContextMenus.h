// The context menus of the folders' items: entries in their order with the verb each one
// runs, the default entry, and which entries are greyed for the items chosen. Pure
// functions; any thread.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "shell/ui/FolderColumns.h"

namespace tarn::shell::ui {

struct SMenuEntry {
  int textId = 0;    // 0: a separator
  std::string verb;  // what the page asks the server (or does itself: properties, about)
  bool isDefault = false;
  bool enabled = true;
};

// The state of one chosen download, as far as the menu depends on it.
struct SDownloadState {
  bool paused = false;
  bool stopped = false;
};

// The menu for the items chosen in `folder`. For downloads, "Pause" and "Stop" are offered
// while one of them runs and "Resume" while one of them is paused or stopped.
std::vector<SMenuEntry> ContextMenu(EFolder folder, std::span<const SDownloadState> chosen = {});

}  // namespace tarn::shell::ui
