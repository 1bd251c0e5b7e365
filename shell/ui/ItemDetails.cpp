#include "shell/ui/ItemDetails.h"

#include "service/automation/FileRecords.h"

namespace tarn::shell::ui {
namespace {

using OSTREL::COM::Succeeded;

// What the record the mirrors hold says of the item, whichever of the three lists it is in.
template <typename Record>
SItemDetails FromRecord(const Record& r) {
  SItemDetails d;
  d.key = r.key;
  d.hash = r.hash;
  d.name = r.name;
  d.size = r.size;
  d.typeName = r.typeName;
  if constexpr (requires { r.fullPath; }) {
    d.fullPath = r.fullPath;
    d.lastWriteTime = r.lastWriteTime;
    d.creationTime = r.creationTime;
  }
  if constexpr (requires { r.nodes; }) {
    d.nodes = r.nodes;
    d.completeNodes = r.completeNodes;
  }
  if constexpr (requires { r.codec; }) {
    d.format = r.format;
    d.duration = r.duration;
    d.bitrate = r.bitrate;
    d.album = r.album;
    d.artist = r.artist;
    d.title = r.title;
    d.codec = r.codec;
  }
  return d;
}

// Values beyond the record, which only the tip and the property sheet show.
template <typename Item>
struct SExtraReader {
  Item& item;
  void operator()(OSTREL::COM::HRESULT (Item::*getter)(std::string*), std::string& field) const {
    if (!Succeeded((item.*getter)(&field))) field.clear();
  }
};

}  // namespace

SItemDetails ReadDetails(OSTREL::COM::IP2PDownloadFile& f) {
  using I = OSTREL::COM::IP2PDownloadFile;
  const auto r = OSTREL::COM::ReadRecord(f);
  SItemDetails d = FromRecord(r);
  d.isDownload = true;
  d.completedSize = r.completedSize;
  d.speed = r.speed;
  d.paused = r.paused;
  d.stopped = r.stopped;
  const SExtraReader<I> read{f};
  read(&I::get_AlternativeNames, d.alternativeNames);
  read(&I::get_Duration, d.duration);
  read(&I::get_Album, d.album);
  read(&I::get_Artist, d.artist);
  read(&I::get_Title, d.title);
  read(&I::get_Codec, d.codec);
  int32_t bitrate = 0;
  if (Succeeded(f.get_Bitrate(&bitrate))) d.bitrate = static_cast<uint32_t>(bitrate);
  return d;
}

SItemDetails ReadDetails(OSTREL::COM::IP2PSharedFile& f) {
  SItemDetails d = FromRecord(OSTREL::COM::ReadRecord(f));
  d.isShared = true;
  d.completedSize = d.size;
  return d;
}

SItemDetails ReadDetails(OSTREL::COM::IP2PSearchResultFile& f) {
  using I = OSTREL::COM::IP2PSearchResultFile;
  SItemDetails d = FromRecord(OSTREL::COM::ReadRecord(f));
  SExtraReader<I>{f}(&I::get_AlternativeNames, d.alternativeNames);
  return d;
}

}  // namespace tarn::shell::ui
