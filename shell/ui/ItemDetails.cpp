#include "shell/ui/ItemDetails.h"

namespace tarn::shell::ui {
namespace {

template <typename Item, typename Getter>
std::string Text(Item& item, Getter getter) {
  std::string value;
  if (!OSTREL::COM::Succeeded((item.*getter)(&value))) value.clear();
  return value;
}

template <typename Item, typename Getter>
uint32_t Number(Item& item, Getter getter) {
  int32_t value = 0;
  if (!OSTREL::COM::Succeeded((item.*getter)(&value))) return 0;
  return static_cast<uint32_t>(value);
}

template <typename Item, typename Getter>
bool Flag(Item& item, Getter getter) {
  int16_t value = 0;
  return OSTREL::COM::Succeeded((item.*getter)(&value)) && value != 0;
}

}  // namespace

SItemDetails ReadDetails(OSTREL::COM::IP2PDownloadFile& f) {
  using I = OSTREL::COM::IP2PDownloadFile;
  SItemDetails d;
  d.isDownload = true;
  d.key = Number(f, &I::get_Key);
  d.fullPath = Text(f, &I::get_FullPathName);
  d.hash = Text(f, &I::get_Hash);
  d.name = Text(f, &I::get_Name);
  d.alternativeNames = Text(f, &I::get_AlternativeNames);
  d.size = Number(f, &I::get_Size);
  d.typeName = Text(f, &I::get_TypeName);
  d.creationTime = Text(f, &I::get_CreationTime);
  d.lastWriteTime = Text(f, &I::get_LastWriteTime);
  d.nodes = Number(f, &I::get_Nodes);
  d.completedSize = Number(f, &I::get_CompletedSize);
  d.completeNodes = Number(f, &I::get_CompleteNodes);
  d.duration = Text(f, &I::get_Duration);
  d.bitrate = Number(f, &I::get_Bitrate);
  d.album = Text(f, &I::get_Album);
  d.artist = Text(f, &I::get_Artist);
  d.title = Text(f, &I::get_Title);
  d.codec = Text(f, &I::get_Codec);
  d.speed = Number(f, &I::get_Speed);
  d.paused = Flag(f, &I::get_IsPaused);
  d.stopped = Flag(f, &I::get_IsStopped);
  return d;
}

SItemDetails ReadDetails(OSTREL::COM::IP2PSharedFile& f) {
  using I = OSTREL::COM::IP2PSharedFile;
  SItemDetails d;
  d.isShared = true;
  d.key = Number(f, &I::get_Key);
  d.fullPath = Text(f, &I::get_FullPathName);
  d.hash = Text(f, &I::get_Hash);
  d.name = Text(f, &I::get_Name);
  d.size = Number(f, &I::get_Size);
  d.completedSize = d.size;
  d.typeName = Text(f, &I::get_TypeName);
  d.creationTime = Text(f, &I::get_CreationTime);
  d.lastWriteTime = Text(f, &I::get_LastWriteTime);
  return d;
}

SItemDetails ReadDetails(OSTREL::COM::IP2PSearchResultFile& r) {
  using I = OSTREL::COM::IP2PSearchResultFile;
  SItemDetails d;
  d.key = Number(r, &I::get_Key);
  d.hash = Text(r, &I::get_Hash);
  d.name = Text(r, &I::get_Name);
  d.alternativeNames = Text(r, &I::get_AlternativeNames);
  d.size = Number(r, &I::get_Size);
  d.format = Text(r, &I::get_Format);
  d.nodes = Number(r, &I::get_Nodes);
  d.completeNodes = Number(r, &I::get_CompleteNodes);
  d.typeName = Text(r, &I::get_TypeName);
  d.duration = Text(r, &I::get_Duration);
  d.bitrate = Number(r, &I::get_Bitrate);
  d.album = Text(r, &I::get_Album);
  d.artist = Text(r, &I::get_Artist);
  d.title = Text(r, &I::get_Title);
  d.codec = Text(r, &I::get_Codec);
  return d;
}

}  // namespace tarn::shell::ui
