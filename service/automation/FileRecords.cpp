#include "service/automation/FileRecords.h"

namespace OSTREL::COM {
namespace {

template <typename Item>
struct SReader {
  Item& item;

  std::string Text(HRESULT (Item::*getter)(std::string*)) const {
    std::string value;
    return Succeeded((item.*getter)(&value)) ? value : std::string();
  }
  uint32_t Number(HRESULT (Item::*getter)(int32_t*)) const {
    int32_t value = 0;
    return Succeeded((item.*getter)(&value)) ? static_cast<uint32_t>(value) : 0;
  }
  // A size by its 64-bit getter, or by its 32-bit slot from an object without one.
  uint64_t Size(HRESULT (Item::*wide)(uint64_t*), HRESULT (Item::*slot)(int32_t*)) const {
    uint64_t value = 0;
    return Succeeded((item.*wide)(&value)) ? value : Number(slot);
  }
  bool Flag(HRESULT (Item::*getter)(int16_t*)) const {
    int16_t value = VARIANT_FALSE;
    return Succeeded((item.*getter)(&value)) && value != VARIANT_FALSE;
  }
};

// The fields a download and a shared file both have.
template <typename Item, typename Record>
void ReadFileFields(const SReader<Item>& read, Record& record) {
  record.key = read.Number(&Item::get_Key);
  record.hash = read.Text(&Item::get_Hash);
  record.name = read.Text(&Item::get_Name);
  record.fullPath = read.Text(&Item::get_FullPathName);
  record.size = read.Size(&Item::get_Size64, &Item::get_Size);
  record.typeName = read.Text(&Item::get_TypeName);
  record.lastWriteTime = read.Text(&Item::get_LastWriteTime);
  record.creationTime = read.Text(&Item::get_CreationTime);
}

}  // namespace

SDownloadRecord ReadRecord(IP2PDownloadFile& file) {
  using F = IP2PDownloadFile;
  const SReader<F> read{file};
  SDownloadRecord record;
  ReadFileFields(read, record);
  record.nodes = read.Number(&F::get_Nodes);
  record.completeNodes = read.Number(&F::get_CompleteNodes);
  record.completedSize = read.Size(&F::get_CompletedSize64, &F::get_CompletedSize);
  record.receivedSize = read.Size(&F::get_ReceivedSize64, &F::get_ReceivedSize);
  record.speed = read.Number(&F::get_Speed);
  record.paused = read.Flag(&F::get_IsPaused);
  record.stopped = read.Flag(&F::get_IsStopped);
  return record;
}

SSharedFileRecord ReadRecord(IP2PSharedFile& file) {
  using F = IP2PSharedFile;
  const SReader<F> read{file};
  SSharedFileRecord record;
  ReadFileFields(read, record);
  return record;
}

SSearchResultRecord ReadRecord(IP2PSearchResultFile& file) {
  using F = IP2PSearchResultFile;
  const SReader<F> read{file};
  SSearchResultRecord record;
  record.key = read.Number(&F::get_Key);
  record.hash = read.Text(&F::get_Hash);
  record.name = read.Text(&F::get_Name);
  record.size = read.Size(&F::get_Size64, &F::get_Size);
  record.format = read.Text(&F::get_Format);
  record.nodes = read.Number(&F::get_Nodes);
  record.completeNodes = read.Number(&F::get_CompleteNodes);
  record.typeName = read.Text(&F::get_TypeName);
  record.duration = read.Text(&F::get_Duration);
  record.bitrate = read.Number(&F::get_Bitrate);
  record.album = read.Text(&F::get_Album);
  record.artist = read.Text(&F::get_Artist);
  record.title = read.Text(&F::get_Title);
  record.codec = read.Text(&F::get_Codec);
  return record;
}

}  // namespace OSTREL::COM
