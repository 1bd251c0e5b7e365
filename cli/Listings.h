// Snapshots of what the daemon lists, read through the automation interfaces, and their two
// renderings: aligned columns for people and JSON for scripts. One thread (the client's).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "service/automation/P2PConnection.h"
#include "service/automation/P2PInterfaces.h"

namespace tarn::cli {

struct SServerRow {
  int32_t key = 0;
  std::string address;  // "IP:PORT"
  std::string name;
  uint32_t users = 0, files = 0, ping = 0;
};

struct SDownloadRow {
  int32_t key = 0;
  std::string name, hash, state;  // state: waiting, downloading, paused, stopped, complete, failed
  uint64_t size = 0, completed = 0, speed = 0;
  uint32_t sources = 0;
  std::string failure;  // why it failed; empty otherwise
};

struct SSharedRow {
  int32_t key = 0;
  std::string name, type, hash;
  uint64_t size = 0;
};

struct SResultRow {
  int32_t key = 0;
  std::string name, hash, type;
  uint64_t size = 0;
  uint32_t sources = 0, complete = 0;
};

// A client of our uploads (the connection interface's upload queue entry).
using SUploadRow = OSTREL::COM::SUploadQueueEntry;

// A 32-bit size slot (of a daemon without the 64-bit properties) read back unsigned.
inline uint64_t SizeOf(int32_t value) { return static_cast<uint32_t>(value); }

SServerRow ServerRowFrom(const OSTREL::COM::SServerRowData& data);
SDownloadRow DownloadRowFrom(const OSTREL::COM::SDownloadRowData& data);
SSharedRow SharedRowFrom(const OSTREL::COM::SSharedRowData& data);
SResultRow ReadResult(OSTREL::COM::IP2PSearchResultFile& file);

// A whole list in one bulk call: its HRESULT, the rows on success.
OSTREL::COM::HRESULT ListServers(OSTREL::COM::IP2PServerList& list, std::vector<SServerRow>& rows);
OSTREL::COM::HRESULT ListDownloads(OSTREL::COM::IP2PDownloadFileList& list,
                                   std::vector<SDownloadRow>& rows);
OSTREL::COM::HRESULT ListShared(OSTREL::COM::IP2PSharedFileList& list,
                                std::vector<SSharedRow>& rows);

// The tables take the terminal's `width` in columns: names are cut so that no line reaches
// it (0: not a terminal; names keep their default widths). Key columns are as wide as the
// longest key.
std::string ServersTable(const std::vector<SServerRow>& rows, size_t width = 0);
std::string ServersJson(const std::vector<SServerRow>& rows);
// `bar`: the progress column is a bar (a terminal).
std::string DownloadLine(const SDownloadRow& row, bool bar);
std::string DownloadsTable(const std::vector<SDownloadRow>& rows, bool bar, size_t width = 0);
std::string DownloadsJson(const std::vector<SDownloadRow>& rows);
std::string SharedTable(const std::vector<SSharedRow>& rows, size_t width = 0);
std::string SharedJson(const std::vector<SSharedRow>& rows);
std::string UploadsTable(const std::vector<SUploadRow>& rows, size_t width = 0);
std::string UploadsJson(const std::vector<SUploadRow>& rows);
std::string ResultLine(const SResultRow& row);
std::string ResultsJson(const std::vector<SResultRow>& rows);

}  // namespace tarn::cli
