#include "engine/library/SharedDatReader.h"

#include <string>
#include <vector>

#include "engine/library/RecordDescription.h"
#include "engine/protocol/Limits.h"
#include "framework/XmlDocument.h"
#include "platform/FileSystem.h"
#include "platform/XmlFile.h"

namespace P2P::Shared::File {
namespace {

using EResult = CTARNNetSharedDatReader::EResult;

constexpr std::string_view kOpening = "<SharedFileList>";
constexpr std::string_view kClosing = "</SharedFileList>";
constexpr std::string_view kEntryOpening = "<SharedFile>";
constexpr std::string_view kEntryClosing = "</SharedFile>";
constexpr size_t kPieceBytes = 1 << 20;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string_view SkipSpace(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && IsSpace(text[at])) ++at;
  return text.substr(at);
}

void SetTime(int64_t& field, std::string_view text) {
  if (const auto value = OSTREL::File::ParseInt64(text)) field = *value;
}

// The text of a field as the document reader gives it; false for anything it would read
// differently (a carriage return it converts, a NUL it stops at, a character reference
// beyond ASCII, an ampersand that starts no known entity, text of blanks only).
bool Unescape(std::string_view raw, std::string& out) {
  out.clear();
  bool blank = true;
  for (size_t at = 0; at < raw.size(); ++at) {
    const char c = raw[at];
    if (c == '\r' || c == '\0') return false;
    if (!IsSpace(c)) blank = false;
    if (c != '&') {
      out += c;
      continue;
    }
    const size_t end = raw.find(';', at);
    if (end == std::string_view::npos) return false;
    const std::string_view entity = raw.substr(at + 1, end - at - 1);
    if (entity == "amp") {
      out += '&';
    } else if (entity == "lt") {
      out += '<';
    } else if (entity == "gt") {
      out += '>';
    } else if (entity == "quot") {
      out += '"';
    } else if (entity == "apos") {
      out += '\'';
    } else if (entity.size() >= 2 && entity.size() <= 4 && entity[0] == '#') {
      unsigned value = 0;
      for (const char digit : entity.substr(1)) {
        if (digit < '0' || digit > '9') return false;
        value = value * 10 + static_cast<unsigned>(digit - '0');
      }
      if (value == 0 || value > 127 || value == '\r') return false;
      out += static_cast<char>(value);
    } else {
      return false;
    }
    at = end;
  }
  return !blank || raw.empty();
}

// One `<Name>text</Name>` field from the front of `text`: 1 read, 0 needs more text, -1 not
// the layout.
int ReadField(std::string_view& text, _tagStructSharedFile* file, std::string& scratch) {
  if (text.size() < 2) return 0;
  if (text[0] != '<' || !IsLetter(text[1])) return -1;
  size_t at = 1;
  while (at < text.size() && IsLetter(text[at])) ++at;
  if (at == text.size()) return 0;
  if (text[at] != '>') return -1;
  const std::string_view name = text.substr(1, at - 1);
  const size_t close = text.find('<', at + 1);
  if (close == std::string_view::npos) return 0;
  const std::string_view raw = text.substr(at + 1, close - at - 1);
  const size_t fieldEnd = close + 2 + name.size() + 1;
  if (text.size() < fieldEnd) return 0;
  if (text.substr(close, 2) != "</" || text.substr(close + 2, name.size()) != name ||
      text[fieldEnd - 1] != '>')
    return -1;
  if (!Unescape(raw, scratch)) return -1;
  if (file != nullptr) ApplySharedDatField(*file, name, scratch);
  text.remove_prefix(fieldEnd);
  return 1;
}

}  // namespace

void ApplySharedDatField(_tagStructSharedFile& file, std::string_view name,
                         std::string_view text) {
  _tagStructSharedFileInfo& info = file.info;
  // A bitrate that does not parse is left out; the record stays.
  if (ReadDescription(info, ERecordFile::kSharedList, name, text) !=
      EDescriptionRead::kNotDescription)
    return;
  auto is = [name](std::string_view field) { return FileNameEquals(name, field); };
  if (is("Hash")) {
    if (const auto hash = _tagUnionHash::FromHex(text)) file.hash = *hash;
  } else if (is("Name")) {
    info.name = text;
  } else if (is("FullPathName")) {
    info.fullPathName = text;
  } else if (is("Size")) {
    // Sizes above 32 bits are written as their full decimal value; none is above the largest
    // file, so such a text is damage and leaves the size unknown.
    if (const auto size = OSTREL::File::ParseUInt64(text); size && *size <= Protocol::kMaxFileSize)
      info.size = *size;
  } else if (is("CreationTime")) {
    SetTime(info.creationTime, text);
  } else if (is("LastWriteTime")) {
    SetTime(info.lastWriteTime, text);
  }
}

EResult CTARNNetSharedDatReader::ReadProlog(std::string_view& text, bool atEnd) {
  const std::string_view declaration = OSTREL::File::CXmlDocument::kDeclaration;
  std::string_view rest = text;
  if (rest.size() < declaration.size()) return atEnd ? EResult::kForeign : EResult::kMore;
  if (rest.substr(0, declaration.size()) != declaration) return EResult::kForeign;
  rest = SkipSpace(rest.substr(declaration.size()));
  if (rest.size() < kOpening.size()) return atEnd ? EResult::kForeign : EResult::kMore;
  if (rest.substr(0, kOpening.size()) != kOpening) return EResult::kForeign;
  text = rest.substr(kOpening.size());
  stage_ = EStage::kList;
  return EResult::kMore;
}

EResult CTARNNetSharedDatReader::ReadEntry(std::string_view& text, bool atEnd, const Take* take) {
  const EResult short_ = atEnd ? EResult::kForeign : EResult::kMore;
  std::string_view rest = SkipSpace(text);
  if (rest.size() >= kClosing.size() && rest.substr(0, kClosing.size()) == kClosing) {
    // Nothing but blanks may follow the root.
    if (!SkipSpace(rest.substr(kClosing.size())).empty()) return EResult::kForeign;
    if (!atEnd) return EResult::kMore;
    stage_ = EStage::kEnded;
    text = {};
    return EResult::kDone;
  }
  // A piece may end inside either tag.
  if (rest.size() < kClosing.size() && kClosing.substr(0, rest.size()) == rest) return short_;
  if (rest.size() < kEntryOpening.size()) return short_;
  if (rest.substr(0, kEntryOpening.size()) != kEntryOpening) return EResult::kForeign;
  rest.remove_prefix(kEntryOpening.size());
  _tagStructSharedFile file;
  std::string scratch;
  for (;;) {
    rest = SkipSpace(rest);
    if (rest.size() >= kEntryClosing.size() &&
        rest.substr(0, kEntryClosing.size()) == kEntryClosing) {
      rest.remove_prefix(kEntryClosing.size());
      break;
    }
    if (rest.size() < kEntryClosing.size() && kEntryClosing.substr(0, rest.size()) == rest)
      return short_;
    const int read = ReadField(rest, take != nullptr ? &file : nullptr, scratch);
    if (read < 0) return EResult::kForeign;
    if (read == 0) return short_;
  }
  if (take != nullptr) (*take)(file);
  text = rest;
  return EResult::kMore;
}

CTARNNetSharedDatReader::EResult CTARNNetSharedDatReader::Feed(std::string_view& text,
                                                              bool atEnd, const Take* take) {
  if (stage_ == EStage::kProlog) {
    const EResult result = ReadProlog(text, atEnd);
    if (stage_ == EStage::kProlog) return result;
  }
  while (stage_ == EStage::kList) {
    const size_t before = text.size();
    const EResult result = ReadEntry(text, atEnd, take);
    if (result != EResult::kMore || text.size() == before) return result;
  }
  return stage_ == EStage::kEnded && SkipSpace(text).empty() ? EResult::kDone : EResult::kForeign;
}

bool ReadWrittenSharedDat(std::string_view text, const CTARNNetSharedDatReader::Take& take) {
  {
    CTARNNetSharedDatReader check;
    std::string_view rest = text;
    if (check.Feed(rest, true, nullptr) != CTARNNetSharedDatReader::EResult::kDone) return false;
  }
  CTARNNetSharedDatReader reader;
  return reader.Feed(text, true, &take) == CTARNNetSharedDatReader::EResult::kDone;
}

namespace {

// One pass over the file in pieces; kForeign also when it cannot be read.
EResult ReadFilePass(const std::filesystem::path& path, const CTARNNetSharedDatReader::Take* take) {
  const auto file = OSTREL::File::FileSystem().Open(path, OSTREL::File::EOpenMode::kRead);
  if (!file) return EResult::kForeign;
  file->AdviseSequential();
  CTARNNetSharedDatReader reader;
  std::string held;
  std::vector<uint8_t> piece(kPieceBytes);
  uint64_t offset = 0;
  for (;;) {
    const auto got = file->ReadAt(offset, piece);
    if (!got) return EResult::kForeign;
    offset += *got;
    held.append(reinterpret_cast<const char*>(piece.data()), *got);
    const bool atEnd = *got == 0;
    std::string_view rest = held;
    const EResult result = reader.Feed(rest, atEnd, take);
    if (result != EResult::kMore) return result;
    if (atEnd || offset > OSTREL::Limits::kMaxXmlFileSize) return EResult::kForeign;
    held.erase(0, held.size() - rest.size());
  }
}

}  // namespace

EResult ReadWrittenSharedDatFile(const std::filesystem::path& path,
                                 const CTARNNetSharedDatReader::Take& take) {
  const EResult checked = ReadFilePass(path, nullptr);
  return checked == EResult::kDone ? ReadFilePass(path, &take) : checked;
}

}  // namespace P2P::Shared::File
