// The rows of the bulk listing methods: what the command line and the user interface show of
// each element of a list, handed out for the whole list in one call instead of an item object
// and a call per value. The in-process lists fill them through their items' own getters, so
// a row says what the item would. Sizes are whole (64-bit). Any thread.
#pragma once

#include <cstdint>
#include <string>

namespace OSTREL::COM {

class IP2PServer;
class IP2PDownloadFile;
class IP2PSharedFile;

struct SServerRowData {
  int32_t key = 0;
  uint32_t ip = 0;  // network order, as get_IP
  uint16_t port = 0;
  std::string name, description;
  uint32_t users = 0, maxUsers = 0, files = 0, ping = 0;
};

struct SDownloadRowData {
  int32_t key = 0;
  std::string hash, name, fullPath, typeName, creationTime, lastWriteTime;
  uint64_t size = 0, completed = 0, received = 0;
  uint32_t speed = 0;
  uint32_t sources = 0, completeSources = 0;
  bool paused = false, stopped = false;
  std::string failure;  // why the download failed; empty while it goes on
};

struct SSharedRowData {
  int32_t key = 0;
  std::string hash, name, fullPath, typeName, creationTime, lastWriteTime;
  uint64_t size = 0;
};

SServerRowData ServerRowOf(IP2PServer& server);
SDownloadRowData DownloadRowOf(IP2PDownloadFile& file);
SSharedRowData SharedRowOf(IP2PSharedFile& file);

}  // namespace OSTREL::COM
