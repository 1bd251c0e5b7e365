#include "engine/library/AICHDatStore.h"

#include <system_error>

#include "engine/hashing/AICHStore.h"
#include "engine/protocol/Limits.h"
#include "framework/CriticalSection.h"
#include "framework/Log.h"
#include "framework/XmlDocument.h"
#include "platform/AtomicFile.h"

namespace P2P::Shared::File {

using HASH::kAICHFileName;
using HASH::kAICHRoot;
using OSTREL::File::CXmlDocument;
using OSTREL::File::CXmlElement;

bool ReadAICHDatText(std::string_view text, std::vector<_tagStructAICHDatEntry>& entries) {
  entries.clear();
  CXmlDocument document;
  if (!document.LoadText(text) || !document.Root().NameIs(kAICHRoot)) return false;
  for (const CXmlElement& file : document.Root().Children("File")) {
    const auto hashText = file.Value("Hash");
    const auto hash = hashText ? _tagUnionHash::FromHex(*hashText) : std::nullopt;
    if (!hash) continue;
    _tagStructAICHDatEntry entry{*hash, {}};
    for (const CXmlElement& block : file.Children("AICHBlock")) {
      const auto id = block.Value("Id");
      const auto aich = block.Value("AICH");
      const auto number = id ? OSTREL::File::ParseUInt32(*id) : std::nullopt;
      const auto value = aich ? HASH::_tagStructAICHHash::FromHex(*aich) : std::nullopt;
      if (number && value) entry.nodes.push_back({*number, *value});
    }
    entries.push_back(std::move(entry));
  }
  return true;
}

namespace {

// The text of AICH.dat handed to `write` in pieces of about a megabyte; false when a piece
// fails.
bool WriteAICHDatPieces(const std::list<_tagStructAICHDatEntry>& entries,
                        const OSTREL::File::CContentWriter& write) {
  constexpr size_t kPieceBytes = 1 << 20;
  std::string text;
  text.reserve(kPieceBytes + 4096);
  text += CXmlDocument::kDeclaration;
  text += "\n<AICHList>";
  for (const _tagStructAICHDatEntry& entry : entries) {
    text += "\n\t<File>\n\t\t<Hash>";
    text += entry.fileHash.ToHex();
    text += "</Hash>";
    for (const HASH::_tagStructAICHStoredNode& node : entry.nodes) {
      text += "\n\t\t<AICHBlock>\n\t\t\t<Id>";
      text += std::to_string(node.id);
      text += "</Id>\n\t\t\t<AICH>";
      text += node.hash.ToHex();
      text += "</AICH>\n\t\t</AICHBlock>";
    }
    text += "\n\t</File>";
    if (text.size() < kPieceBytes) continue;
    if (!write(text)) return false;
    text.clear();
  }
  text += entries.empty() ? "</AICHList>" : "\n</AICHList>";
  return write(text);
}

}  // namespace

std::string WriteAICHDatText(const std::list<_tagStructAICHDatEntry>& entries) {
  std::string whole;
  WriteAICHDatPieces(entries, [&whole](std::string_view piece) {
    whole += piece;
    return true;
  });
  return whole;
}

void CTARNNetAICHDatStore::SetFolder(const std::filesystem::path& folder) {
  OSTREL::Process::CLock guard(lock_);
  if (folder == folder_) return;
  folder_ = folder;
  loaded_ = false;
  dirty_ = false;
  entries_.clear();
  byHash_.clear();
}

void CTARNNetAICHDatStore::LoadOnce() {
  if (loaded_ || folder_.empty()) return;
  loaded_ = true;
  const std::filesystem::path path = folder_ / kAICHFileName;
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return;
  std::vector<_tagStructAICHDatEntry> read;
  const auto text = OSTREL::File::ReadWholeFile(path, Protocol::kMaxXmlFileSize);
  if (!text || !ReadAICHDatText(*text, read)) {
    // Kept for whoever wants to look at it; the trees of this run go to a fresh file.
    std::filesystem::path aside = path;
    aside += ".bad";
    std::filesystem::rename(path, aside, error);
    OSTREL::LogWarning("AICH.dat cannot be read; kept as ", aside.string());
    return;
  }
  for (_tagStructAICHDatEntry& entry : read) {
    if (const auto held = byHash_.find(entry.fileHash); held != byHash_.end()) {
      entries_.erase(held->second);
      byHash_.erase(held);
    }
    const _tagUnionHash hash = entry.fileHash;
    byHash_[hash] = entries_.insert(entries_.end(), std::move(entry));
  }
}

void CTARNNetAICHDatStore::Put(const _tagUnionHash& fileHash, const HASH::CTARNNetAICHTree& tree) {
  _tagStructAICHDatEntry entry{fileHash, tree.ExportStoredNodes()};
  OSTREL::Process::CLock guard(lock_);
  LoadOnce();
  if (const auto held = byHash_.find(fileHash); held != byHash_.end()) {
    entries_.erase(held->second);
    byHash_.erase(held);
  }
  byHash_[fileHash] = entries_.insert(entries_.end(), std::move(entry));
  dirty_ = true;
}

bool CTARNNetAICHDatStore::Contains(const _tagUnionHash& fileHash) {
  OSTREL::Process::CLock guard(lock_);
  LoadOnce();
  return byHash_.count(fileHash) != 0;
}

bool CTARNNetAICHDatStore::IsDirty() const {
  OSTREL::Process::CLock guard(lock_);
  return dirty_;
}

bool CTARNNetAICHDatStore::Save() {
  OSTREL::Process::CLock guard(lock_);
  if (!dirty_) return true;
  if (folder_.empty()) return false;
  // Written in pieces: the text of 100,000 entries is tens of megabytes.
  // Called before WriteFileAtomically returns, still under the lock.
  const auto produce = [this](const OSTREL::File::CContentWriter& write) NO_THREAD_SAFETY_ANALYSIS {
    return WriteAICHDatPieces(entries_, write);
  };
  if (!OSTREL::File::WriteFileAtomically(folder_ / kAICHFileName, produce)) return false;
  dirty_ = false;
  return true;
}

}  // namespace P2P::Shared::File
