// The detail columns of each folder: titles (string numbers), widths in characters and
// alignment; the text of every cell, formatted here so the page shows it as it comes; and the
// per-column item comparison that orders a folder when the user sorts by a column. Pure
// functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "service/automation/FileRecords.h"

namespace tarn::shell::ui {

// The records the folders show, as the desktop side's mirrors hold them.
using OSTREL::COM::SDownloadRecord;
using OSTREL::COM::SSearchResultRecord;
using OSTREL::COM::SSharedFileRecord;

// A child of the root folder: a built-in one (Incoming, Shared) or one the registry adds.
struct SRootChild {
  uint32_t key = 0;  // its position among the root's children
  std::string id{};  // the child's class identifier, "{...}"
  std::string text{}, comment{}, description{}, icon{};
  uint32_t attributes = 0;
};

enum class EFolder { kRoot, kIncoming, kShared, kSearchResults };
enum class EAlign { kLeft, kRight };

// What names a folder: the page's name for it, its title's string number, and the registry
// value its view state is kept under.
struct SFolderNames {
  EFolder folder;
  const char* name;
  int titleId;
  const char* viewStateValue;
};
const SFolderNames& NamesOf(EFolder folder);
// The folder of a page name; nothing for a name no folder has.
std::optional<EFolder> FolderNamed(std::string_view name);

struct SColumn {
  int titleId;  // the title's number in the shell's string table
  int width;    // in characters
  EAlign align;
};

std::span<const SColumn> Columns(EFolder folder);

// One text per column of the record's folder.
std::vector<std::string> CellTexts(const SRootChild& child);
std::vector<std::string> CellTexts(const SDownloadRecord& download);
std::vector<std::string> CellTexts(const SSharedFileRecord& file);
std::vector<std::string> CellTexts(const SSearchResultRecord& result);

// Negative when `a` sorts before `b` by `column`, 0 when they sort alike, positive after.
// Texts compare without regard to case, numbers as unsigned values. A column past the table
// compares by name.
int Compare(const SRootChild& a, const SRootChild& b, int column);
int Compare(const SDownloadRecord& a, const SDownloadRecord& b, int column);
int Compare(const SSharedFileRecord& a, const SSharedFileRecord& b, int column);
int Compare(const SSearchResultRecord& a, const SSearchResultRecord& b, int column);

// Positions into `records` in the order the folder shows them sorted by `column`; items that
// compare alike keep the order they have in `records` (the lists are held by key).
template <typename Record>
std::vector<uint32_t> SortOrder(std::span<const Record> records, int column, bool descending);

// Case-insensitive comparison of two UTF-8 texts (ASCII folded in place; other texts by
// their Unicode case folding).
int CompareNoCase(const std::string& a, const std::string& b);

// The share of complete sources in percent, 0 without sources.
uint32_t CompletePercent(uint32_t nodes, uint32_t completeNodes);

}  // namespace tarn::shell::ui
