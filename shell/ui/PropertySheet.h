// The property sheet of an item: its pages in order (General, Alternate, Summary, About for
// downloads and search results; General and About for shared files) with every label and
// value formatted. Pure functions; any thread.
#pragma once

#include <string>
#include <vector>

#include "shell/ui/ItemDetails.h"

namespace tarn::shell::ui {

struct SField {
  std::string label{}, value{};
};

struct SFieldGroup {
  std::string name{};
  std::vector<SField> rows{};
};

enum class EPageKind { kGeneral, kAlternate, kSummary, kAbout };

struct SPropertyPage {
  EPageKind kind = EPageKind::kGeneral;
  std::string title{};
  std::vector<SField> fields{};  // General, About
  // General of a download: the bar's position of kProgressRange, and its percent text.
  int progressPosition = -1;
  std::string progressText{};
  // Alternate: the prompt, the name field and the further names to choose from.
  std::string prompt{}, fileName{};
  std::vector<std::string> alternateNames{};
  // Summary: the "Property" and "Value" rows in their groups.
  std::vector<SFieldGroup> groups{};
};

inline constexpr int kProgressRange = 65525;

std::vector<SPropertyPage> PropertySheet(const SItemDetails& item);

// The further names of an item, one per line of the daemon's text, blanks dropped.
std::vector<std::string> SplitAlternateNames(const std::string& text);

}  // namespace tarn::shell::ui
