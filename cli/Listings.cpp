#include "cli/Listings.h"

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

template <typename Item, typename List>
std::vector<std::shared_ptr<Item>> Items(List& list) {
  std::vector<std::shared_ptr<Item>> items;
  int32_t count = 0;
  if (!Succeeded(list.get_Count(&count))) return items;
  for (int32_t index = 1; index <= count; ++index) {  // the collections count from one
    std::shared_ptr<Item> item;
    if (Succeeded(list.get_Item(index, &item)) && item) items.push_back(std::move(item));
  }
  return items;
}

std::string StateOf(IP2PDownloadFile& file, uint64_t size, uint64_t completed, uint64_t speed) {
  if (Read(file, &IP2PDownloadFile::get_IsStopped) != 0) return "stopped";
  if (Read(file, &IP2PDownloadFile::get_IsPaused) != 0) return "paused";
  if (size != 0 && completed >= size) return "complete";
  return speed > 0 ? "downloading" : "waiting";
}

std::string Pad(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string PadLeft(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

}  // namespace

SServerRow ReadServer(IP2PServer& server) {
  SServerRow row;
  row.key = Read(server, &IP2PServer::get_Key);
  row.address = FormatAddress(Read(server, &IP2PServer::get_IP)) + ":" +
                std::to_string(static_cast<uint16_t>(Read(server, &IP2PServer::get_Port)));
  row.name = Read(server, &IP2PServer::get_Name);
  row.users = static_cast<uint32_t>(Read(server, &IP2PServer::get_Users));
  row.files = static_cast<uint32_t>(Read(server, &IP2PServer::get_Files));
  row.ping = static_cast<uint32_t>(Read(server, &IP2PServer::get_Ping));
  return row;
}

SDownloadRow ReadDownload(IP2PDownloadFile& file) {
  SDownloadRow row;
  row.key = Read(file, &IP2PDownloadFile::get_Key);
  row.name = Read(file, &IP2PDownloadFile::get_Name);
  row.hash = Read(file, &IP2PDownloadFile::get_Hash);
  row.size = SizeOf(Read(file, &IP2PDownloadFile::get_Size));
  row.completed = SizeOf(Read(file, &IP2PDownloadFile::get_CompletedSize));
  row.speed = SizeOf(Read(file, &IP2PDownloadFile::get_Speed));
  row.sources = static_cast<uint32_t>(Read(file, &IP2PDownloadFile::get_Nodes));
  row.state = StateOf(file, row.size, row.completed, row.speed);
  return row;
}

SSharedRow ReadShared(IP2PSharedFile& file) {
  SSharedRow row;
  row.key = Read(file, &IP2PSharedFile::get_Key);
  row.name = Read(file, &IP2PSharedFile::get_Name);
  row.type = Read(file, &IP2PSharedFile::get_TypeName);
  row.hash = Read(file, &IP2PSharedFile::get_Hash);
  row.size = SizeOf(Read(file, &IP2PSharedFile::get_Size));
  return row;
}

SResultRow ReadResult(IP2PSearchResultFile& file) {
  SResultRow row;
  row.key = Read(file, &IP2PSearchResultFile::get_Key);
  row.name = Read(file, &IP2PSearchResultFile::get_Name);
  row.hash = Read(file, &IP2PSearchResultFile::get_Hash);
  row.type = Read(file, &IP2PSearchResultFile::get_TypeName);
  row.size = SizeOf(Read(file, &IP2PSearchResultFile::get_Size));
  row.sources = static_cast<uint32_t>(Read(file, &IP2PSearchResultFile::get_Nodes));
  row.complete = static_cast<uint32_t>(Read(file, &IP2PSearchResultFile::get_CompleteNodes));
  return row;
}

std::vector<SServerRow> ListServers(IP2PServerList& list) {
  std::vector<SServerRow> rows;
  for (const auto& item : Items<IP2PServer>(list)) rows.push_back(ReadServer(*item));
  return rows;
}

std::vector<SDownloadRow> ListDownloads(IP2PDownloadFileList& list) {
  std::vector<SDownloadRow> rows;
  for (const auto& item : Items<IP2PDownloadFile>(list)) rows.push_back(ReadDownload(*item));
  return rows;
}

std::vector<SSharedRow> ListShared(IP2PSharedFileList& list) {
  std::vector<SSharedRow> rows;
  for (const auto& item : Items<IP2PSharedFile>(list)) rows.push_back(ReadShared(*item));
  return rows;
}

namespace {

// How a cell (or its heading) fills its column.
enum class EFill { kLeft, kRight, kName, kAsIs };

struct SColumn {
  const char* heading = "";
  size_t gap = 0;  // spaces before the column
  size_t width = 0;
  EFill fill = EFill::kAsIs;
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

template <typename Row>
std::string Table(const std::vector<SField<Row>>& fields, const std::vector<Row>& rows) {
  std::string out = Line(fields, [](const SField<Row>& field) { return field.column.heading; });
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

const std::vector<SField<SServerRow>>& ServerFields() {
  using R = SServerRow;
  static const std::vector<SField<R>> fields = {
      Shown("key", &R::key, {"KEY", 0, 5, EFill::kLeft}),
      Shown("address", &R::address, {"ADDRESS", 0, 22, EFill::kLeft}),
      Shown("name", &R::name, {"NAME", 0, 30, EFill::kName}),
      Shown("users", &R::users, {"USERS", 1, 6, EFill::kRight}),
      Shown("files", &R::files, {"FILES", 1, 7, EFill::kRight}),
      Shown("ping", &R::ping, {"PING", 1, 5, EFill::kRight}),
  };
  return fields;
}

// `bar`: the progress column is a bar.
std::vector<SField<SDownloadRow>> DownloadFields(bool bar) {
  using R = SDownloadRow;
  const SColumn progress =
      bar ? SColumn{"PROGRESS", 1, 29, EFill::kLeft} : SColumn{"DONE", 1, 6, EFill::kRight};
  return {
      Shown("key", &R::key, {"KEY", 0, 5, EFill::kLeft}),
      Shown("name", &R::name, {"NAME", 0, 32, EFill::kName}),
      JsonOnly("hash", &R::hash),
      Shown("size", &R::size, {"SIZE", 1, 10, EFill::kRight},
            [](const R& row) { return FormatSize(row.size); }),
      Shown("completed", &R::completed, progress,
            [bar](const R& row) {
              const std::string percent = Percent(row.completed, row.size);
              return bar ? ProgressBar(row.completed, row.size, 22) + " " + PadLeft(percent, 6)
                         : percent;
            }),
      Shown("speed", &R::speed, {"SPEED", 1, 12, EFill::kRight},
            [](const R& row) { return FormatSpeed(row.speed); }),
      Shown("sources", &R::sources, {"SRC", 1, 4, EFill::kRight}),
      Shown("state", &R::state, {"STATE", 2}),
  };
}

const std::vector<SField<SSharedRow>>& SharedFields() {
  using R = SSharedRow;
  static const std::vector<SField<R>> fields = {
      Shown("key", &R::key, {"KEY", 0, 5, EFill::kLeft}),
      Shown("name", &R::name, {"NAME", 0, 32, EFill::kName}),
      Shown("size", &R::size, {"SIZE", 1, 10, EFill::kRight},
            [](const R& row) { return FormatSize(row.size); }),
      Shown("type", &R::type, {"TYPE", 2, 9, EFill::kLeft}),
      Shown("hash", &R::hash, {"HASH", 1}),
  };
  return fields;
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
const std::vector<SField<SUploadRow>>& UploadFields() {
  using R = SUploadRow;
  static const std::vector<SField<R>> fields = {
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
  return fields;
}

const std::vector<SField<SResultRow>>& ResultFields() {
  using R = SResultRow;
  static const std::vector<SField<R>> fields = {
      Shown("key", &R::key, {"KEY", 0, 5, EFill::kLeft}),
      Shown("name", &R::name, {"NAME", 0, 40, EFill::kName}),
      JsonOnly("hash", &R::hash),
      Shown("size", &R::size, {"SIZE", 1, 10, EFill::kRight},
            [](const R& row) { return FormatSize(row.size); }),
      JsonOnly("type", &R::type),
      Shown("sources", &R::sources, {"SRC", 1, 4, EFill::kRight}),
      JsonOnly("complete_sources", &R::complete),
      TableOnly<R>({"", 1}, [](const R&) { return "sources"; }),
  };
  return fields;
}

}  // namespace

std::string ServersTable(const std::vector<SServerRow>& rows) {
  return Table(ServerFields(), rows);
}

std::string ServersJson(const std::vector<SServerRow>& rows) { return Json(ServerFields(), rows); }

std::string DownloadLine(const SDownloadRow& row, bool bar) {
  return RowLine(DownloadFields(bar), row);
}

std::string DownloadsTable(const std::vector<SDownloadRow>& rows, bool bar) {
  return Table(DownloadFields(bar), rows);
}

std::string DownloadsJson(const std::vector<SDownloadRow>& rows) {
  return Json(DownloadFields(false), rows);
}

std::string SharedTable(const std::vector<SSharedRow>& rows) { return Table(SharedFields(), rows); }

std::string SharedJson(const std::vector<SSharedRow>& rows) { return Json(SharedFields(), rows); }

std::string UploadsTable(const std::vector<SUploadRow>& rows) {
  if (rows.empty()) return "no uploads and nobody queued\n";
  return Table(UploadFields(), rows);
}

std::string UploadsJson(const std::vector<SUploadRow>& rows) { return Json(UploadFields(), rows); }

std::string ResultLine(const SResultRow& row) { return RowLine(ResultFields(), row); }

std::string ResultsJson(const std::vector<SResultRow>& rows) { return Json(ResultFields(), rows); }

}  // namespace tarn::cli
