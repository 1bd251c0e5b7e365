#include "shell/ui/ItemDetails.h"

#include "service/automation/FileRecords.h"

namespace tarn::shell::ui {
namespace {

using OSTREL::COM::Succeeded;

template <typename Item>
std::string Text(Item& item, OSTREL::COM::HRESULT (Item::*getter)(std::string*)) {
  std::string value;
  return Succeeded((item.*getter)(&value)) ? value : std::string();
}

// The fields a download and a shared file both have, from the record the mirrors hold.
template <typename Record>
SItemDetails FileDetails(const Record& r) {
  SItemDetails d;
  d.key = r.key;
  d.hash = r.hash;
  d.name = r.name;
  d.fullPath = r.fullPath;
  d.size = r.size;
  d.typeName = r.typeName;
  d.lastWriteTime = r.lastWriteTime;
  d.creationTime = r.creationTime;
  return d;
}

}  // namespace

SItemDetails ReadDetails(OSTREL::COM::IP2PDownloadFile& f) {
  using I = OSTREL::COM::IP2PDownloadFile;
  const auto r = OSTREL::COM::ReadRecord(f);
  SItemDetails d = FileDetails(r);
  d.isDownload = true;
  d.nodes = r.nodes;
  d.completeNodes = r.completeNodes;
  d.completedSize = r.completedSize;
  d.speed = r.speed;
  d.paused = r.paused;
  d.stopped = r.stopped;
  // Beyond the record: what only the property sheet shows.
  d.alternativeNames = Text(f, &I::get_AlternativeNames);
  d.duration = Text(f, &I::get_Duration);
  int32_t bitrate = 0;
  if (Succeeded(f.get_Bitrate(&bitrate))) d.bitrate = static_cast<uint32_t>(bitrate);
  d.album = Text(f, &I::get_Album);
  d.artist = Text(f, &I::get_Artist);
  d.title = Text(f, &I::get_Title);
  d.codec = Text(f, &I::get_Codec);
  return d;
}

SItemDetails ReadDetails(OSTREL::COM::IP2PSharedFile& f) {
  SItemDetails d = FileDetails(OSTREL::COM::ReadRecord(f));
  d.isShared = true;
  d.completedSize = d.size;
  return d;
}

SItemDetails ReadDetails(OSTREL::COM::IP2PSearchResultFile& f) {
  const auto r = OSTREL::COM::ReadRecord(f);
  SItemDetails d;
  d.key = r.key;
  d.hash = r.hash;
  d.name = r.name;
  d.size = r.size;
  d.format = r.format;
  d.nodes = r.nodes;
  d.completeNodes = r.completeNodes;
  d.typeName = r.typeName;
  d.duration = r.duration;
  d.bitrate = r.bitrate;
  d.album = r.album;
  d.artist = r.artist;
  d.title = r.title;
  d.codec = r.codec;
  d.alternativeNames = Text(f, &OSTREL::COM::IP2PSearchResultFile::get_AlternativeNames);
  return d;
}

}  // namespace tarn::shell::ui
