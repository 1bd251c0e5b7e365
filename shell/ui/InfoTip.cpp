#include "shell/ui/InfoTip.h"

#include "shell/ui/CellFormat.h"

namespace tarn::shell::ui {
namespace {

void AddIfSet(std::string& tip, const char* label, const std::string& value) {
  if (!value.empty()) tip.append(label).append(value);
}

// A file of our own: what a file manager tells of it.
std::string SharedFileTip(const SItemDetails& item) {
  std::string tip = item.name;
  AddIfSet(tip, "\nType: ", item.typeName);
  tip.append("\nSize: ").append(NumberText(item.size)).append(" Bytes");
  AddIfSet(tip, "\nDate Modified: ", item.lastWriteTime);
  tip.append("\nFinger Print: ").append(item.hash);
  return tip;
}

}  // namespace

std::string InfoTip(const SItemDetails& item) {
  if (item.isShared) return SharedFileTip(item);
  std::string tip = item.name;
  tip.append("\nFinger Print: ").append(item.hash);
  AddIfSet(tip, "\nAlternative:\n", item.alternativeNames);
  tip.append("\nSize: ").append(NumberText(item.size)).append(" Bytes");
  tip.append("\nNodes: ").append(std::to_string(item.nodes));
  tip.append("\nComplete Nodes: ").append(std::to_string(item.completeNodes));
  AddIfSet(tip, "\nAlbum: ", item.album);
  AddIfSet(tip, "\nArtist: ", item.artist);
  AddIfSet(tip, "\nBit Rate: ", BitrateText(item.bitrate));
  AddIfSet(tip, "\nDuration: ", item.duration);
  AddIfSet(tip, "\nTitle: ", item.title);
  AddIfSet(tip, "\nCodec: ", item.codec);
  if (item.isDownload) tip.append("\nDownload Speed: ").append(SizeText(item.speed, 2));
  return tip;
}

}  // namespace tarn::shell::ui
