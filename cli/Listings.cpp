#include "cli/Listings.h"

#include <cstdio>

#include "cli/JsonWriter.h"
#include "cli/ProgressBar.h"
#include "cli/Targets.h"
#include "cli/Units.h"

namespace tarn::cli {
namespace {

using namespace OSTREL::COM;

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

std::string FitName(const std::string& name, size_t width) {
  std::string out;
  size_t shown = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    const bool continuation = (c & 0xC0) == 0x80;
    if (!continuation) {
      if (shown == width) {
        // Cut: the last shown character becomes an ellipsis mark.
        while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80)
          out.pop_back();
        if (!out.empty()) out.back() = '~';
        return out;
      }
      ++shown;
    }
    out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
  }
  return out + std::string(width - shown, ' ');
}

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

std::string ServersTable(const std::vector<SServerRow>& rows) {
  std::string out = "KEY  ADDRESS               NAME                            USERS   FILES  PING\n";
  for (const auto& row : rows) {
    out += Pad(std::to_string(row.key), 5) + Pad(row.address, 22) + FitName(row.name, 30) + " " +
           PadLeft(std::to_string(row.users), 6) + " " + PadLeft(std::to_string(row.files), 7) +
           " " + PadLeft(std::to_string(row.ping), 5) + "\n";
  }
  return out;
}

std::string ServersJson(const std::vector<SServerRow>& rows) {
  CJsonWriter json;
  json.BeginArray();
  for (const auto& row : rows) {
    json.BeginObject()
        .Member("key", row.key)
        .Member("address", row.address)
        .Member("name", row.name)
        .Member("users", row.users)
        .Member("files", row.files)
        .Member("ping", row.ping)
        .EndObject();
  }
  return json.EndArray().Text() + "\n";
}

std::string DownloadLine(const SDownloadRow& row, bool bar) {
  const std::string progress =
      bar ? ProgressBar(row.completed, row.size, 22) + " " + PadLeft(Percent(row.completed, row.size), 6)
          : PadLeft(Percent(row.completed, row.size), 6);
  return Pad(std::to_string(row.key), 5) + FitName(row.name, 32) + " " +
         PadLeft(FormatSize(row.size), 10) + " " + progress + " " +
         PadLeft(FormatSpeed(row.speed), 12) + " " + PadLeft(std::to_string(row.sources), 4) +
         "  " + row.state;
}

std::string DownloadsTable(const std::vector<SDownloadRow>& rows, bool bar) {
  std::string out = Pad("KEY", 5) + Pad("NAME", 32) + " " + PadLeft("SIZE", 10) + " " +
                    (bar ? Pad("PROGRESS", 29) : PadLeft("DONE", 6)) + " " +
                    PadLeft("SPEED", 12) + " " + PadLeft("SRC", 4) + "  STATE\n";
  for (const auto& row : rows) out += DownloadLine(row, bar) + "\n";
  return out;
}

std::string DownloadsJson(const std::vector<SDownloadRow>& rows) {
  CJsonWriter json;
  json.BeginArray();
  for (const auto& row : rows) {
    json.BeginObject()
        .Member("key", row.key)
        .Member("name", row.name)
        .Member("hash", row.hash)
        .Member("size", row.size)
        .Member("completed", row.completed)
        .Member("speed", row.speed)
        .Member("sources", row.sources)
        .Member("state", row.state)
        .EndObject();
  }
  return json.EndArray().Text() + "\n";
}

std::string SharedTable(const std::vector<SSharedRow>& rows) {
  std::string out = Pad("KEY", 5) + Pad("NAME", 32) + " " + PadLeft("SIZE", 10) + "  " +
                    Pad("TYPE", 9) + " HASH\n";
  for (const auto& row : rows) {
    out += Pad(std::to_string(row.key), 5) + FitName(row.name, 32) + " " +
           PadLeft(FormatSize(row.size), 10) + "  " + Pad(row.type, 9) + " " + row.hash + "\n";
  }
  return out;
}

std::string SharedJson(const std::vector<SSharedRow>& rows) {
  CJsonWriter json;
  json.BeginArray();
  for (const auto& row : rows) {
    json.BeginObject()
        .Member("key", row.key)
        .Member("name", row.name)
        .Member("size", row.size)
        .Member("type", row.type)
        .Member("hash", row.hash)
        .EndObject();
  }
  return json.EndArray().Text() + "\n";
}

namespace {

std::string DurationText(uint32_t seconds) {
  char text[32];
  if (seconds < 3600)
    std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
  else
    std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  return text;
}

std::string UploadState(const SUploadRow& row) {
  return row.uploading ? "uploading" : "queued #" + std::to_string(row.rank);
}

}  // namespace

std::string UploadsTable(const std::vector<SUploadRow>& rows) {
  if (rows.empty()) return "no uploads and nobody queued\n";
  std::string out = Pad("STATE", 13) + Pad("ADDRESS", 16) + Pad("FILE", 32) + " " +
                    PadLeft("SENT", 10) + " " + PadLeft("TIME", 8) + " " + PadLeft("CREDIT", 6) +
                    "  USER\n";
  for (const auto& row : rows) {
    char credit[16];
    std::snprintf(credit, sizeof credit, "%.2f", row.creditModifier);
    const std::string name = row.fileName.empty() ? row.fileHash : row.fileName;
    out += Pad(UploadState(row), 13) + Pad(row.address, 16) + FitName(name, 32) + " " +
           PadLeft(row.uploading ? FormatSize(row.sentBytes) : "-", 10) + " " +
           PadLeft(DurationText(row.seconds), 8) + " " + PadLeft(credit, 6) + "  " +
           row.userHash + "\n";
  }
  return out;
}

std::string UploadsJson(const std::vector<SUploadRow>& rows) {
  CJsonWriter json;
  json.BeginArray();
  for (const auto& row : rows) {
    json.BeginObject()
        .Member("state", row.uploading ? "uploading" : "queued")
        .Member("rank", static_cast<uint64_t>(row.rank))
        .Member("user_hash", row.userHash)
        .Member("address", row.address)
        .Member("file_hash", row.fileHash)
        .Member("file_name", row.fileName)
        .Member("seconds", static_cast<uint64_t>(row.seconds))
        .Member("sent", row.sentBytes)
        .Member("credit_modifier", row.creditModifier)
        .EndObject();
  }
  return json.EndArray().Text() + "\n";
}

std::string ResultLine(const SResultRow& row) {
  return Pad(std::to_string(row.key), 5) + FitName(row.name, 40) + " " +
         PadLeft(FormatSize(row.size), 10) + " " + PadLeft(std::to_string(row.sources), 4) +
         " sources";
}

std::string ResultsJson(const std::vector<SResultRow>& rows) {
  CJsonWriter json;
  json.BeginArray();
  for (const auto& row : rows) {
    json.BeginObject()
        .Member("key", row.key)
        .Member("name", row.name)
        .Member("hash", row.hash)
        .Member("size", row.size)
        .Member("type", row.type)
        .Member("sources", row.sources)
        .Member("complete_sources", row.complete)
        .EndObject();
  }
  return json.EndArray().Text() + "\n";
}

}  // namespace tarn::cli
