// The records the folders show: one per download, shared file and search result, as the
// desktop side's copies of the daemon's lists hold them, and one per child of the root
// folder. Plain values; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace tarn::shell::ui {

// Stand-ins with the fields of the list copies' records, until those copies are wired in.
struct SDownloadRecord {
  uint32_t key = 0;
  std::string hash{}, name{}, fullPath{};
  uint32_t size = 0;
  std::string typeName{}, lastWriteTime{}, creationTime{};
  uint32_t nodes = 0, completeNodes = 0, completedSize = 0, receivedSize = 0, speed = 0;
  bool paused = false, stopped = false;
  uint32_t phase = 0;
};

struct SSharedFileRecord {
  uint32_t key = 0;
  std::string hash{}, name{}, fullPath{};
  uint32_t size = 0;
  std::string typeName{}, lastWriteTime{}, creationTime{};
};

struct SSearchResultRecord {
  uint32_t key = 0;
  std::string hash{}, name{};
  uint32_t size = 0;
  std::string format{};
  uint32_t nodes = 0, completeNodes = 0;
  std::string typeName{}, duration{};
  uint32_t bitrate = 0;
  std::string album{}, artist{}, title{}, codec{};
};

// A child of the root folder: a built-in one (Incoming, Shared) or one the registry adds.
struct SRootChild {
  uint32_t key = 0;  // its position among the root's children
  std::string id{};  // the child's class identifier, "{...}"
  std::string text{}, comment{}, description{}, icon{};
  uint32_t attributes = 0;
};

}  // namespace tarn::shell::ui
