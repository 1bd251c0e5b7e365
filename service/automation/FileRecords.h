// Every value of a list item in one record, beyond the slots of the lists: a client that keeps
// a copy of a list (the desktop side's mirrors) reads a whole list, or the items a burst of
// events names, in one call instead of one call per value. The download list also answers for
// downloads that left it lately, saying how each ended, so a client acting on a removal still
// learns whether the download completed. Records are plain values; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "service/automation/HResult.h"
#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {

// Where a download stands: in the list, or gone from it, completed or not.
enum class EDownloadPhase : uint32_t { kListed = 0, kCompleted = 1, kRemoved = 2 };

// Sizes are whole (64-bit); counts are the unsigned values the items answer as 32-bit numbers.
// On the bus GetRecords64 carries the records as they are, GetRecords their sizes' low 32 bits.
// Every field has an initializer, so a record can be built with only the fields that matter.
struct SDownloadRecord {
  uint32_t key = 0;
  std::string hash{}, name{}, fullPath{};
  uint64_t size = 0;
  std::string typeName{}, lastWriteTime{}, creationTime{};
  uint32_t nodes = 0, completeNodes = 0;
  uint64_t completedSize = 0, receivedSize = 0;
  uint32_t speed = 0;
  bool paused = false, stopped = false;
  uint32_t phase = static_cast<uint32_t>(EDownloadPhase::kListed);

  auto Tie() {
    return std::tie(key, hash, name, fullPath, size, typeName, lastWriteTime, creationTime, nodes,
                    completeNodes, completedSize, receivedSize, speed, paused, stopped, phase);
  }
  auto Tie() const { return const_cast<SDownloadRecord*>(this)->Tie(); }
  bool operator==(const SDownloadRecord&) const = default;
};

struct SSharedFileRecord {
  uint32_t key = 0;
  std::string hash{}, name{}, fullPath{};
  uint64_t size = 0;
  std::string typeName{}, lastWriteTime{}, creationTime{};

  auto Tie() {
    return std::tie(key, hash, name, fullPath, size, typeName, lastWriteTime, creationTime);
  }
  auto Tie() const { return const_cast<SSharedFileRecord*>(this)->Tie(); }
  bool operator==(const SSharedFileRecord&) const = default;
};

struct SSearchResultRecord {
  uint32_t key = 0;
  std::string hash{}, name{};
  uint64_t size = 0;
  std::string format{};
  uint32_t nodes = 0, completeNodes = 0;
  std::string typeName{}, duration{};
  uint32_t bitrate = 0;
  std::string album{}, artist{}, title{}, codec{};

  auto Tie() {
    return std::tie(key, hash, name, size, format, nodes, completeNodes, typeName, duration,
                    bitrate, album, artist, title, codec);
  }
  auto Tie() const { return const_cast<SSearchResultRecord*>(this)->Tie(); }
  bool operator==(const SSearchResultRecord&) const = default;
};

// The records of one list.
template <typename Record>
class IP2PRecordsT {
 public:
  virtual ~IP2PRecordsT() = default;
  // Every item the list holds, in list order.
  virtual HRESULT GetRecords(std::vector<Record>* records) = 0;
  // The items of `keys` the list knows, in the order asked; unknown keys are left out.
  virtual HRESULT GetRecordsByKey(const std::vector<uint32_t>& keys,
                                  std::vector<Record>* records) = 0;
};
using IP2PDownloadRecords = IP2PRecordsT<SDownloadRecord>;
using IP2PSharedFileRecords = IP2PRecordsT<SSharedFileRecord>;
using IP2PSearchResultRecords = IP2PRecordsT<SSearchResultRecord>;

// An item's record read through its getters (in process or over the bus); a getter that fails
// leaves its field empty.
SDownloadRecord ReadRecord(IP2PDownloadFile& file);
SSharedFileRecord ReadRecord(IP2PSharedFile& file);
SSearchResultRecord ReadRecord(IP2PSearchResultFile& file);

}  // namespace OSTREL::COM
