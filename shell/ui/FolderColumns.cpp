#include "shell/ui/FolderColumns.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

#include "framework/Hex.h"
#include "shell/ui/CellFormat.h"

namespace tarn::shell::ui {
namespace {

constexpr auto L = EAlign::kLeft;
constexpr auto R = EAlign::kRight;

constexpr SColumn kRootColumns[] = {{811, 30, L}, {812, 30, L}, {813, 30, L}};
constexpr SColumn kIncomingColumns[] = {{811, 30, L}, {821, 10, L}, {822, 10, R},
                                        {851, 10, R}, {853, 10, R}, {854, 10, R},
                                        {825, 10, R}, {823, 30, L}, {824, 30, L}};
constexpr SColumn kSharedColumns[] = {
    {811, 30, L}, {821, 30, L}, {822, 30, R}, {823, 30, L}, {824, 30, L}};
constexpr SColumn kResultColumns[] = {{811, 30, L}, {822, 20, R}, {821, 20, L}, {831, 20, R},
                                      {855, 20, R}, {832, 20, R}, {833, 20, R}, {834, 20, R},
                                      {835, 20, R}, {836, 20, R}, {837, 20, R}};

constexpr SFolderNames kFolders[] = {
    {EFolder::kRoot, "root", 801, "P2PListX"},
    {EFolder::kIncoming, "incoming", 803, "P2PDownloadListX"},
    {EFolder::kShared, "shared", 804, "P2PSharedListX"},
    {EFolder::kSearchResults, "results", 805, "P2PSearchResultListX"},
};

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

std::array<uint8_t, 16> HashBytes(const std::string& hex) {
  std::array<uint8_t, 16> bytes{};
  if (!OSTREL::Util::HexToBytes(hex, bytes)) bytes.fill(0);
  return bytes;
}

// Column 0 of every item folder: the same item (equal keys) even when renamed in between,
// otherwise by name and then by hash.
template <typename Record>
int CompareByName(const Record& a, const Record& b) {
  if (a.key == b.key) return 0;
  if (const int byName = CompareNoCase(a.name, b.name)) return byName;
  return Order(HashBytes(a.hash), HashBytes(b.hash));
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

const SFolderNames& NamesOf(EFolder folder) { return kFolders[static_cast<size_t>(folder)]; }

std::optional<EFolder> FolderNamed(std::string_view name) {
  for (const SFolderNames& f : kFolders)
    if (name == f.name) return f.folder;
  return std::nullopt;
}

std::span<const SColumn> Columns(EFolder folder) {
  switch (folder) {
    case EFolder::kRoot:
      return kRootColumns;
    case EFolder::kIncoming:
      return kIncomingColumns;
    case EFolder::kShared:
      return kSharedColumns;
    case EFolder::kSearchResults:
      return kResultColumns;
  }
  return {};
}

int CompareNoCase(const std::string& a, const std::string& b) {
  if (IsAscii(a) && IsAscii(b)) {
    const int c = g_ascii_strcasecmp(a.c_str(), b.c_str());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  gchar* foldedA = g_utf8_casefold(a.c_str(), static_cast<gssize>(a.size()));
  gchar* foldedB = g_utf8_casefold(b.c_str(), static_cast<gssize>(b.size()));
  const int c = std::strcmp(foldedA, foldedB);
  g_free(foldedA);
  g_free(foldedB);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

uint32_t CompletePercent(uint32_t nodes, uint32_t completeNodes) {
  return nodes == 0 ? 0 : static_cast<uint32_t>(uint64_t{completeNodes} * 100 / nodes);
}

std::vector<std::string> CellTexts(const SRootChild& child) {
  return {child.text, child.comment, child.description};
}

std::vector<std::string> CellTexts(const SDownloadRecord& d) {
  return {d.name,
          d.typeName,
          SizeText(d.size, 2),
          SizeText(d.completedSize, 0),
          PercentText(d.completedSize, d.size, 2),
          SizeText(d.speed, 0),
          NodesText(d.nodes, d.completeNodes),
          d.lastWriteTime,
          d.creationTime};
}

std::vector<std::string> CellTexts(const SSharedFileRecord& f) {
  return {f.name, f.typeName, SizeText(f.size, 0), f.lastWriteTime, f.creationTime};
}

std::vector<std::string> CellTexts(const SSearchResultRecord& r) {
  return {r.name,
          SizeText(r.size, 0),
          r.typeName,
          NumberText(r.nodes),
          PercentText(r.completeNodes, r.nodes, 0),
          r.duration,
          BitrateText(r.bitrate),
          r.codec,
          r.album,
          r.artist,
          r.title};
}

int Compare(const SRootChild& a, const SRootChild& b, int) { return CompareNoCase(a.text, b.text); }

int Compare(const SDownloadRecord& a, const SDownloadRecord& b, int column) {
  switch (column) {
    case 1:
      return CompareNoCase(a.typeName, b.typeName);
    case 2:
      return Order(a.size, b.size);
    case 3:
      return Order(a.completedSize, b.completedSize);
    case 4:
      // The one nearer its end sorts later: more bytes still to come first.
      if (a.completedSize != 0 && b.completedSize != 0)
        return Order(b.size - std::min(b.completedSize, b.size),
                     a.size - std::min(a.completedSize, a.size));
      return Order(a.completedSize, b.completedSize);
    case 5:
      return Order(a.speed, b.speed);
    case 6:
      return Order(a.nodes, b.nodes);
    case 7:
      return CompareNoCase(a.lastWriteTime, b.lastWriteTime);
    case 8:
      return CompareNoCase(a.creationTime, b.creationTime);
    default:
      return CompareByName(a, b);
  }
}

int Compare(const SSharedFileRecord& a, const SSharedFileRecord& b, int column) {
  switch (column) {
    case 1:
      return CompareNoCase(a.typeName, b.typeName);
    case 2:
      return Order(a.size, b.size);
    case 3:
      return CompareNoCase(a.lastWriteTime, b.lastWriteTime);
    case 4:
      return CompareNoCase(a.creationTime, b.creationTime);
    default:
      return CompareByName(a, b);
  }
}

int Compare(const SSearchResultRecord& a, const SSearchResultRecord& b, int column) {
  const uint32_t percentA = CompletePercent(a.nodes, a.completeNodes);
  const uint32_t percentB = CompletePercent(b.nodes, b.completeNodes);
  switch (column) {
    case 1:
      return Order(a.size, b.size);
    case 2:
      return CompareNoCase(a.typeName, b.typeName);
    case 3:
      if (const int byNodes = Order(a.nodes, b.nodes)) return byNodes;
      return Order(percentA, percentB);
    case 4:
      if (const int byPercent = Order(percentA, percentB)) return byPercent;
      return Order(a.nodes, b.nodes);
    case 5:
      return CompareNoCase(a.duration, b.duration);
    case 6:
      return Order(a.bitrate, b.bitrate);
    case 7:
      return CompareNoCase(a.codec, b.codec);
    case 8:
      return CompareNoCase(a.album, b.album);
    case 9:
      return CompareNoCase(a.artist, b.artist);
    case 10:
      return CompareNoCase(a.title, b.title);
    default:
      return CompareByName(a, b);
  }
}

template <typename Record>
std::vector<uint32_t> SortOrder(std::span<const Record> records, int column, bool descending) {
  std::vector<uint32_t> order(records.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
    const int c = Compare(records[x], records[y], column);
    return descending ? c > 0 : c < 0;
  });
  return order;
}

template std::vector<uint32_t> SortOrder(std::span<const SRootChild>, int, bool);
template std::vector<uint32_t> SortOrder(std::span<const SDownloadRecord>, int, bool);
template std::vector<uint32_t> SortOrder(std::span<const SSharedFileRecord>, int, bool);
template std::vector<uint32_t> SortOrder(std::span<const SSearchResultRecord>, int, bool);

}  // namespace tarn::shell::ui
