#include "cli/Listings.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string_view>
#include <type_traits>

#include "cli/ProgressBar.h"
#include "cli/Targets.h"
#include "cli/TerminalText.h"
#include "cli/Units.h"
#include "framework/JsonWriter.h"

namespace tarn::cli {
namespace {

using namespace OSTREL::COM;
using OSTREL::Util::CJsonWriter;

template <typename Object, typename Value>
Value Read(Object& object, HRESULT (Object::*getter)(Value*)) {
  Value value{};
  if (!Succeeded((object.*getter)(&value))) return Value{};
  return value;
}

std::string StateOf(const SDownloadRowData& data) {
  if (!data.failure.empty()) return "failed";
  if (data.stopped) return "stopped";
  if (data.paused) return "paused";
  if (data.size != 0 && data.completed >= data.size) return "complete";
  return data.speed > 0 ? "downloading" : "waiting";
}

template <typename Data, typename Row, typename List>
HRESULT ListRows(List& list, std::vector<Row>& rows, Row (*convert)(const Data&)) {
  std::vector<Data> data;
  const HRESULT hr = list.GetRows(&data);
  rows.clear();
  if (!Succeeded(hr)) return hr;
  rows.reserve(data.size());
  for (const Data& one : data) rows.push_back(convert(one));
  return hr;
}

std::string Pad(const std::string& text, size_t width) {
  const size_t cells = CellWidth(text);
  return cells >= width ? text : text + std::string(width - cells, ' ');
}

std::string PadLeft(const std::string& text, size_t width) {
  const size_t cells = CellWidth(text);
  return cells >= width ? text : std::string(width - cells, ' ') + text;
}

}  // namespace

SServerRow ServerRowFrom(const SServerRowData& data) {
  SServerRow row;
  row.key = data.key;
  row.address = FormatAddress(static_cast<int32_t>(data.ip)) + ":" + std::to_string(data.port);
  row.name = data.name;
  row.users = data.users;
  row.files = data.files;
  row.ping = data.ping;
  return row;
}

SDownloadRow DownloadRowFrom(const SDownloadRowData& data) {
  SDownloadRow row;
  row.key = data.key;
  row.name = data.name;
  row.hash = data.hash;
  row.size = data.size;
  row.completed = data.completed;
  row.speed = data.speed;
  row.sources = data.sources;
  row.state = StateOf(data);
  row.failure = data.failure;
  return row;
}

SSharedRow SharedRowFrom(const SSharedRowData& data) {
  return {data.key, data.name, data.typeName, data.hash, data.size};
}

SResultRow ReadResult(IP2PSearchResultFile& file) {
  SResultRow row;
  row.key = Read(file, &IP2PSearchResultFile::get_Key);
  row.name = Read(file, &IP2PSearchResultFile::get_Name);
  row.hash = Read(file, &IP2PSearchResultFile::get_Hash);
  row.type = Read(file, &IP2PSearchResultFile::get_TypeName);
  uint64_t size = 0;
  row.size = Succeeded(file.get_Size64(&size))
                 ? size
                 : SizeOf(Read(file, &IP2PSearchResultFile::get_Size));
  row.sources = static_cast<uint32_t>(Read(file, &IP2PSearchResultFile::get_Nodes));
  row.complete = static_cast<uint32_t>(Read(file, &IP2PSearchResultFile::get_CompleteNodes));
  return row;
}

HRESULT ListServers(IP2PServerList& list, std::vector<SServerRow>& rows) {
  return ListRows(list, rows, &ServerRowFrom);
}

HRESULT ListDownloads(IP2PDownloadFileList& list, std::vector<SDownloadRow>& rows) {
  return ListRows(list, rows, &DownloadRowFrom);
}

HRESULT ListShared(IP2PSharedFileList& list, std::vector<SSharedRow>& rows) {
  return ListRows(list, rows, &SharedRowFrom);
}

namespace {

// How a cell (or its heading) fills its column.
enum class EFill { kLeft, kRight, kName, kAsIs };

struct SColumn {
  const char* heading = "";
  size_t gap = 0;  // spaces before the column
  size_t width = 0;
  EFill fill = EFill::kAsIs;
  bool key = false;  // as wide as the longest key
};

// One field of a listing: its JSON member, its table column, or both, so the two renderings
// share one description of each listing.
template <typename Row>
struct SField {
  std::string_view member;  // empty: a column only
  std::function<void(CJsonWriter&, std::string_view, const Row&)> value;
  SColumn column;
  std::function<std::string(const Row&)> cell;  // empty: JSON only
};

template <typename Row>
using Cell = std::type_identity_t<std::function<std::string(const Row&)>>;

template <typename Row, typename Value>
SField<Row> JsonOnly(std::string_view member, Value Row::*field) {
  const auto value = [field](CJsonWriter& json, std::string_view name, const Row& row) {
    json.Member(name, row.*field);
  };
  return {member, value, {}, nullptr};
}

template <typename Row, typename Value>
SField<Row> Shown(std::string_view member, Value Row::*field, SColumn column, Cell<Row> cell) {
  SField<Row> shown = JsonOnly(member, field);
  shown.column = column;
  shown.cell = std::move(cell);
  return shown;
}

// A member whose column shows it as it is (numbers in decimal).
template <typename Row, typename Value>
SField<Row> Shown(std::string_view member, Value Row::*field, SColumn column) {
  return Shown(member, field, column, [field](const Row& row) {
    if constexpr (std::is_same_v<Value, std::string>) {
      return row.*field;
    } else {
      return std::to_string(row.*field);
    }
  });
}

template <typename Row>
SField<Row> TableOnly(SColumn column, Cell<Row> cell) {
  return {{}, nullptr, column, std::move(cell)};
}

// The key column of every listing: as wide as its longest key, a blank before the next.
template <typename Row>
SField<Row> KeyField() {
  return Shown("key", &Row::key, {"KEY", 0, 3, EFill::kLeft, true});
}

// Every cell goes through ForTerminal: any of them may hold text from the network.
std::string Filled(const std::string& text, const SColumn& column) {
  switch (column.fill) {
    case EFill::kLeft:
      return Pad(ForTerminal(text), column.width);
    case EFill::kRight:
      return PadLeft(ForTerminal(text), column.width);
    case EFill::kName:
      return FitName(text, column.width);
    case EFill::kAsIs:
      break;
  }
  return ForTerminal(text);
}

template <typename Row, typename Text>
std::string Line(const std::vector<SField<Row>>& fields, Text text) {
  std::string line;
  for (const auto& field : fields)
    if (field.cell) line += std::string(field.column.gap, ' ') + Filled(text(field), field.column);
  return line;
}

template <typename Row>
std::string RowLine(const std::vector<SField<Row>>& fields, const Row& row) {
  return Line(fields, [&](const SField<Row>& field) { return field.cell(row); });
}

// The columns sized for `rows`: keys as wide as the longest, and with a terminal `width`, the
// first name column given what the others leave of it (at least `minName` cells).
template <typename Row>
void FitColumns(std::vector<SField<Row>>& fields, const std::vector<Row>& rows, size_t width,
                size_t minName = 12) {
  size_t used = 0;
  SField<Row>* name = nullptr;
  for (auto& field : fields) {
    if (!field.cell) continue;
    SColumn& column = field.column;
    if (column.key) {
      for (const Row& row : rows) column.width = std::max(column.width, field.cell(row).size());
      column.width += 1;  // the blank before the name
    } else if (column.fill == EFill::kAsIs) {
      column.width = CellWidth(column.heading);
      for (const Row& row : rows)
        column.width = std::max(column.width, CellWidth(ForTerminal(field.cell(row))));
    }
    if (column.fill == EFill::kName && name == nullptr) {
      name = &field;
      used += column.gap;
    } else {
      used += column.gap + column.width;
    }
  }
  // One cell short of the width: a line that fills it would wrap on some terminals.
  if (width > 0 && name != nullptr)
    name->column.width = std::max(minName, width - 1 - std::min(width - 1, used));
}

template <typename Row>
std::string Table(std::vector<SField<Row>> fields, const std::vector<Row>& rows, size_t width) {
  FitColumns(fields, rows, width);
  std::string out = Line(fields, [](const SField<Row>& field) { return field.column.heading; });
  // The last column is not padded: no blanks at the ends of the lines.
  out.erase(out.find_last_not_of(' ') + 1);
  out += "\n";
  for (const auto& row : rows) out += RowLine(fields, row) + "\n";
  return out;
}

template <typename Row>
std::string Json(const std::vector<SField<Row>>& fields, const std::vector<Row>& rows) {
  CJsonWriter json;
  json.BeginArray();
  for (const auto& row : rows) {
    json.BeginObject();
    for (const auto& field : fields)
      if (!field.member.empty()) field.value(json, field.member, row);
    json.EndObject();
  }
  return json.EndArray().Text() + "\n";
}

std::vector<SField<SServerRow>> ServerFields() {
  using R = SServerRow;
  return {
      KeyField<R>(),
      Shown("address", &R::address, {"ADDRESS", 0, 22, EFill::kLeft}),
      Shown("name", &R::name, {"NAME", 0, 30, EFill::kName}),
      Shown("users", &R::users, {"USERS", 1, 6, EFill::kRight}),
      Shown("files", &R::files, {"FILES", 1, 7, EFill::kRight}),
      Shown("ping", &R::ping, {"PING", 1, 5, EFill::kRight}),
  };
}

constexpr unsigned kBarWidth = 22;
constexpr unsigned kMinBarWidth = 8;
constexpr size_t kMinDownloadName = 20;

// `bar`: the progress column is a bar of `barWidth` cells and the percentage.
std::vector<SField<SDownloadRow>> DownloadFields(bool bar, unsigned barWidth = kBarWidth) {
  using R = SDownloadRow;
  const SColumn progress = bar ? SColumn{"PROGRESS", 1, barWidth + 7, EFill::kLeft}
                               : SColumn{"DONE", 1, 6, EFill::kRight};
  return {
      KeyField<R>(),
      Shown("name", &R::name, {"NAME", 0, 32, EFill::kName}),
      JsonOnly("hash", &R::hash),
      Shown("size", &R::size, {"SIZE", 1, 10, EFill::kRight},
            [](const R& row) { return FormatSize(row.size); }),
      Shown("completed", &R::completed, progress,
            [bar, barWidth](const R& row) {
              const std::string percent = Percent(row.completed, row.size);
              return bar ? ProgressBar(row.completed, row.size, barWidth) + " " +
                               PadLeft(percent, 6)
                         : percent;
            }),
      Shown("speed", &R::speed, {"SPEED", 1, 12, EFill::kRight},
            [](const R& row) { return FormatSpeed(row.speed); }),
      Shown("sources", &R::sources, {"SRC", 1, 4, EFill::kRight}),
      Shown("state", &R::state, {"STATE", 2}),
      JsonOnly("failure", &R::failure),
  };
}

std::vector<SField<SSharedRow>> SharedFields() {
  using R = SSharedRow;
  return {
      KeyField<R>(),
      Shown("name", &R::name, {"NAME", 0, 32, EFill::kName}),
      Shown("size", &R::size, {"SIZE", 1, 10, EFill::kRight},
            [](const R& row) { return FormatSize(row.size); }),
      Shown("type", &R::type, {"TYPE", 2, 16, EFill::kName}),
      Shown("hash", &R::hash, {"HASH", 1}),
  };
}

std::string DurationText(uint32_t seconds) {
  char text[32];
  if (seconds < 3600)
    std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
  else
    std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  return text;
}

std::string CreditText(double modifier) {
  char credit[16];
  std::snprintf(credit, sizeof credit, "%.2f", modifier);
  return credit;
}

// The table puts the time and the user after the file, JSON before it.
std::vector<SField<SUploadRow>> UploadFields() {
  using R = SUploadRow;
  return {
      {"state",
       [](CJsonWriter& json, std::string_view name, const R& row) {
         json.Member(name, row.uploading ? "uploading" : "queued");
       },
       {"STATE", 0, 13, EFill::kLeft},
       [](const R& row) {
         return row.uploading ? "uploading" : "queued #" + std::to_string(row.rank);
       }},
      JsonOnly("rank", &R::rank),
      JsonOnly("user_hash", &R::userHash),
      Shown("address", &R::address, {"ADDRESS", 0, 16, EFill::kLeft}),
      JsonOnly("file_hash", &R::fileHash),
      Shown("file_name", &R::fileName, {"FILE", 0, 32, EFill::kName},
            [](const R& row) { return row.fileName.empty() ? row.fileHash : row.fileName; }),
      JsonOnly("seconds", &R::seconds),
      Shown("sent", &R::sentBytes, {"SENT", 1, 10, EFill::kRight},
            [](const R& row) { return row.uploading ? FormatSize(row.sentBytes) : "-"; }),
      TableOnly<R>({"TIME", 1, 8, EFill::kRight},
                   [](const R& row) { return DurationText(row.seconds); }),
      Shown("credit_modifier", &R::creditModifier, {"CREDIT", 1, 6, EFill::kRight},
            [](const R& row) { return CreditText(row.creditModifier); }),
      TableOnly<R>({"USER", 2}, [](const R& row) { return row.userHash; }),
  };
}

// Results are printed as they come, before their number is known: the key column is wide
// enough for five digits and a blank.
std::vector<SField<SResultRow>> ResultFields() {
  using R = SResultRow;
  return {
      Shown("key", &R::key, {"KEY", 0, 6, EFill::kLeft}),
      Shown("name", &R::name, {"NAME", 0, 40, EFill::kName}),
      JsonOnly("hash", &R::hash),
      Shown("size", &R::size, {"SIZE", 1, 10, EFill::kRight},
            [](const R& row) { return FormatSize(row.size); }),
      JsonOnly("type", &R::type),
      Shown("sources", &R::sources, {"SRC", 1, 4, EFill::kRight}),
      JsonOnly("complete_sources", &R::complete),
      TableOnly<R>({"", 1}, [](const R& row) { return row.sources == 1 ? "source" : "sources"; }),
  };
}

// The rows of the downloads table.
std::string DownloadRows(const std::vector<SDownloadRow>& rows, bool bar, size_t width) {
  if (!bar || width == 0) return Table(DownloadFields(bar), rows, width);
  // On a narrow terminal the bar gives way before the names do, at last to the percentage.
  for (unsigned barWidth = kBarWidth; barWidth >= kMinBarWidth; --barWidth) {
    auto fields = DownloadFields(true, barWidth);
    FitColumns(fields, rows, width, 0);
    if (fields[1].column.width >= kMinDownloadName)
      return Table(DownloadFields(true, barWidth), rows, width);
  }
  return Table(DownloadFields(false), rows, width);
}

// A line under the table for each failed download, saying why.
std::string FailureLines(const std::vector<SDownloadRow>& rows, size_t width) {
  std::string lines;
  for (const auto& row : rows) {
    if (row.failure.empty()) continue;
    const std::string line = std::to_string(row.key) + " failed: " + row.failure;
    lines += (width > 0 ? FitName(line, width - 1) : ForTerminal(line));
    lines.erase(lines.find_last_not_of(' ') + 1);
    lines += "\n";
  }
  return lines;
}

}  // namespace

std::string ServersTable(const std::vector<SServerRow>& rows, size_t width) {
  return Table(ServerFields(), rows, width);
}

std::string ServersJson(const std::vector<SServerRow>& rows) { return Json(ServerFields(), rows); }

std::string DownloadLine(const SDownloadRow& row, bool bar) {
  auto fields = DownloadFields(bar);
  FitColumns(fields, std::vector<SDownloadRow>{row}, 0);
  return RowLine(fields, row);
}

std::string DownloadsTable(const std::vector<SDownloadRow>& rows, bool bar, size_t width) {
  return DownloadRows(rows, bar, width) + FailureLines(rows, width);
}

std::string DownloadsJson(const std::vector<SDownloadRow>& rows) {
  return Json(DownloadFields(false), rows);
}

std::string SharedTable(const std::vector<SSharedRow>& rows, size_t width) {
  return Table(SharedFields(), rows, width);
}

std::string SharedJson(const std::vector<SSharedRow>& rows) { return Json(SharedFields(), rows); }

std::string UploadsTable(const std::vector<SUploadRow>& rows, size_t width) {
  if (rows.empty()) return "no uploads and nobody queued\n";
  return Table(UploadFields(), rows, width);
}

std::string UploadsJson(const std::vector<SUploadRow>& rows) { return Json(UploadFields(), rows); }

std::string ResultLine(const SResultRow& row) {
  const auto fields = ResultFields();
  return RowLine(fields, row);
}

std::string ResultsJson(const std::vector<SResultRow>& rows) { return Json(ResultFields(), rows); }

}  // namespace tarn::cli
