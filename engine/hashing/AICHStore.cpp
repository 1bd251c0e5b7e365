#include "engine/hashing/AICHStore.h"

#include <system_error>

#include "platform/XmlFile.h"

namespace P2P::HASH {

using OSTREL::File::CXmlDocument;
using OSTREL::File::CXmlElement;

OSTREL::Process::CCriticalSection& HashingLock() {
  static OSTREL::Process::CCriticalSection lock;
  return lock;
}

bool SaveAICHTree(const std::filesystem::path& folder, const _tagUnionHash& fileHash,
                  const CTARNNetAICHTree& tree, OSTREL::Process::CCriticalSection& lock) {
  OSTREL::Process::CLock guard(lock);
  const std::filesystem::path path = folder / kAICHFileName;
  std::error_code error;
  const bool exists = std::filesystem::exists(path, error);
  CXmlDocument document;
  if (exists) {
    if (!OSTREL::File::LoadXmlFile(document, path) || !document.Root().NameIs(kAICHRoot))
      return false;
  } else {
    document.LoadText(std::string(CXmlDocument::kDeclaration) + "<AICHList></AICHList>");
  }
  CXmlElement root = document.Root();
  const std::string hex = fileHash.ToHex();
  for (const CXmlElement& file : root.Children("File")) {
    const auto held = file.Value("Hash");
    const auto heldHash = held ? _tagUnionHash::FromHex(*held) : std::nullopt;
    if (heldHash && *heldHash == fileHash) root.RemoveChild(file);
  }
  CXmlElement file = root.AppendElement("File");
  file.AppendText("Hash", hex);
  for (const _tagStructAICHStoredNode& node : tree.ExportStoredNodes()) {
    CXmlElement block = file.AppendElement("AICHBlock");
    block.AppendNumber("Id", node.id);
    block.AppendText("AICH", node.hash.ToHex());
  }
  return OSTREL::File::SaveXmlFile(document, path);
}

}  // namespace P2P::HASH
