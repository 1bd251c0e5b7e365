#include "shell/ui/ViewState.h"

#include <sstream>

#include "platform/RegistryKey.h"

namespace tarn::shell::ui {
namespace {

using OSTREL::Platform::CRegKey;
using OSTREL::Platform::RegRoot;

constexpr const char* kExplorerKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr size_t kMaxText = 256;
constexpr int kMinWidth = 2;
constexpr int kMaxWidth = 200;

}  // namespace

SViewState CViewStates::Load(EFolder folder) {
  SViewState state;
  const auto key = CRegKey::Open(registry_, RegRoot::kCurrentUser, kExplorerKey);
  if (!key) return state;
  const auto text = key->QueryString(NamesOf(folder).viewStateValue, kMaxText);
  if (!text) return state;
  // "COLUMN DESCENDING WIDTH..." as written by Save; anything else leaves the defaults.
  std::istringstream in(*text);
  const int columns = static_cast<int>(Columns(folder).size());
  SViewState read;
  int descending = 0;
  if (!(in >> read.sortColumn >> descending)) return state;
  if (read.sortColumn < 0 || read.sortColumn >= columns) return state;
  read.descending = descending != 0;
  for (int width; in >> width;) read.widths.push_back(std::clamp(width, kMinWidth, kMaxWidth));
  if (static_cast<int>(read.widths.size()) != columns) read.widths.clear();
  return read;
}

bool CViewStates::Save(EFolder folder, const SViewState& state) {
  const int columns = static_cast<int>(Columns(folder).size());
  if (state.sortColumn < 0 || state.sortColumn >= columns) return false;
  if (!state.widths.empty() && static_cast<int>(state.widths.size()) != columns) return false;
  std::string text = std::to_string(state.sortColumn) + (state.descending ? " 1" : " 0");
  for (int width : state.widths)
    text += " " + std::to_string(std::clamp(width, kMinWidth, kMaxWidth));
  const auto key = CRegKey::Create(registry_, RegRoot::kCurrentUser, kExplorerKey);
  return key && key->SetString(NamesOf(folder).viewStateValue, text);
}

}  // namespace tarn::shell::ui
