#include "engine/library/SharedDatFile.h"

#include "engine/library/RecordDescription.h"
#include "engine/library/SharedDatReader.h"
#include "platform/AtomicFile.h"
#include "platform/XmlFile.h"

namespace P2P::Shared::File {
namespace {

using OSTREL::File::CXmlDocument;
using OSTREL::File::CXmlElement;

// Element text escaped as the DOM writer escapes it: the three markup characters as entities,
// control characters other than tab, line feed and carriage return as character references,
// and nothing from the first NUL on (the DOM holds C strings).
void AppendEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0) return;
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (byte < 32 && c != '\t' && c != '\n' && c != '\r') {
      out += "&#";
      out += static_cast<char>('0' + byte / 10);
      out += static_cast<char>('0' + byte % 10);
      out += ';';
    } else {
      out += c;
    }
  }
}

void AppendField(std::string& out, std::string_view name, std::string_view text) {
  out += "\n\t\t<";
  out += name;
  out += '>';
  AppendEscaped(out, text);
  out += "</";
  out += name;
  out += '>';
}

}  // namespace

namespace {

// With `release`, each element leaves the document once read, so the document's memory goes
// back as the caller's records grow.
bool VisitSharedDatDocument(const CXmlDocument& document,
                            const std::function<void(_tagStructSharedFile&)>& take,
                            bool release) {
  CXmlElement root = document.Root();
  if (!root || !root.NameIs(kSharedDatRoot)) return false;
  for (const CXmlElement& element : root.Children("SharedFile")) {
    _tagStructSharedFile file;
    element.ForEachField(
        [&file](std::string_view name, std::string_view text) { ApplySharedDatField(file, name, text); });
    if (release) root.RemoveChild(element);
    take(file);
  }
  return true;
}

}  // namespace

std::vector<_tagStructSharedFile> ReadSharedDatDocument(const CXmlDocument& document) {
  std::vector<_tagStructSharedFile> files;
  VisitSharedDatDocument(
      document, [&files](_tagStructSharedFile& file) { files.push_back(std::move(file)); }, false);
  return files;
}

std::vector<_tagStructSharedFile> ReadSharedDatText(std::string_view text) {
  std::vector<_tagStructSharedFile> files;
  if (ReadWrittenSharedDat(
          text, [&files](_tagStructSharedFile& file) { files.push_back(std::move(file)); }))
    return files;
  CXmlDocument document;
  if (!document.LoadText(text)) return {};
  return ReadSharedDatDocument(document);
}

void BeginSharedDatText(std::string& out) {
  out += CXmlDocument::kDeclaration;
  out += "\n<SharedFileList>";
}

void AppendSharedDatEntry(std::string& out, const _tagStructSharedFile& file) {
  const _tagStructSharedFileInfo& info = file.info;
  out += "\n\t<SharedFile>";
  AppendField(out, "Hash", file.hash.ToHex());
  AppendField(out, "Name", info.name);
  AppendField(out, "FullPathName", info.fullPathName);
  AppendField(out, "Size", std::to_string(info.size));
  AppendField(out, "CreationTime", std::to_string(info.creationTime));
  AppendField(out, "LastWriteTime", std::to_string(info.lastWriteTime));
  ForEachSetDescription(
      info, ERecordFile::kSharedList,
      [&out](std::string_view name, const std::string& text) { AppendField(out, name, text); });
  out += "\n\t</SharedFile>";
}

void EndSharedDatText(std::string& out, bool anyEntry) {
  out += anyEntry ? "\n</SharedFileList>" : "</SharedFileList>";
}

std::string WriteSharedDatText(std::span<const _tagStructSharedFile> files) {
  std::string text;
  BeginSharedDatText(text);
  for (const _tagStructSharedFile& file : files) AppendSharedDatEntry(text, file);
  EndSharedDatText(text, !files.empty());
  return text;
}

bool SaveSharedDat(const std::filesystem::path& path, std::span<const _tagStructSharedFile> files) {
  return OSTREL::File::WriteFileAtomically(path, WriteSharedDatText(files));
}

std::vector<_tagStructSharedFile> LoadSharedDat(const std::filesystem::path& path) {
  CXmlDocument document;
  if (!OSTREL::File::LoadXmlFile(document, path)) return {};
  return ReadSharedDatDocument(document);
}

bool ForEachSharedDatEntry(const std::filesystem::path& path,
                           const std::function<void(_tagStructSharedFile&)>& take) {
  // The file as written is read in place; only one edited by hand needs the document.
  using EResult = CTARNNetSharedDatReader::EResult;
  const EResult written = ReadWrittenSharedDatFile(path, take);
  if (written != EResult::kForeign) return written == EResult::kDone;
  CXmlDocument document;
  return OSTREL::File::LoadXmlFile(document, path) && VisitSharedDatDocument(document, take, true);
}

}  // namespace P2P::Shared::File
