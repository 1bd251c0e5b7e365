#include "platform/XmlFile.h"

#include "framework/Limits.h"
#include "platform/AtomicFile.h"

namespace OSTREL::File {

bool LoadXmlFile(CXmlDocument& document, const std::filesystem::path& path) {
  auto content = ReadWholeFile(path, OSTREL::Limits::kMaxXmlFileSize);
  if (!content) {
    document.LoadText("");  // leaves the document empty, as a refused text does
    return false;
  }
  return document.LoadOwnedText(std::move(*content));
}

bool SaveXmlFile(const CXmlDocument& document, const std::filesystem::path& path) {
  if (!document.Root()) return false;
  return WriteFileAtomically(path, document.ToText());
}

}  // namespace OSTREL::File
