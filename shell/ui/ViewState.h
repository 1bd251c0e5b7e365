// The view state of each folder (the column it is sorted by, the direction, the column
// widths), kept in the user's registry under the value each folder view always used, so a
// folder opens as it was left. Thread-safe as the registry is.
#pragma once

#include <vector>

#include "platform/Registry.h"
#include "shell/ui/FolderColumns.h"

namespace tarn::shell::ui {

struct SViewState {
  int sortColumn = 0;
  bool descending = false;
  std::vector<int> widths{};  // in characters, one per column; empty: the table's widths
};

class CViewStates {
 public:
  explicit CViewStates(OSTREL::Platform::CRegistry& registry) : registry_(registry) {}

  // The stored state, checked against the folder's columns; the defaults when none is.
  SViewState Load(EFolder folder);
  bool Save(EFolder folder, const SViewState& state);

 private:
  OSTREL::Platform::CRegistry& registry_;
};

}  // namespace tarn::shell::ui
