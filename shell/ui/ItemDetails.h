// Everything the daemon tells of one item, read live when the user asks for its info tip or
// its property sheet (the list copies keep only what the columns show). Readers run on the
// thread that owns the bus client; the record is a plain value.
#pragma once

#include <cstdint>
#include <string>

#include "service/automation/P2PInterfaces.h"

namespace tarn::shell::ui {

struct SItemDetails {
  uint32_t key = 0;
  std::string name{}, hash{}, alternativeNames{}, fullPath{}, typeName{}, creationTime{},
      lastWriteTime{};
  std::string format{}, duration{}, album{}, artist{}, title{}, codec{};
  uint64_t size = 0, completedSize = 0;
  uint32_t nodes = 0, completeNodes = 0, speed = 0, bitrate = 0;
  bool isDownload = false, isShared = false, paused = false, stopped = false;
};

// A getter that fails leaves its field empty.
SItemDetails ReadDetails(OSTREL::COM::IP2PDownloadFile& file);
SItemDetails ReadDetails(OSTREL::COM::IP2PSharedFile& file);
SItemDetails ReadDetails(OSTREL::COM::IP2PSearchResultFile& result);

}  // namespace tarn::shell::ui
