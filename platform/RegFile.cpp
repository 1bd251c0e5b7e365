#include "platform/RegFile.h"

#include <cstdio>
#include <optional>

#include "framework/Limits.h"
#include "framework/Log.h"
#include "platform/Utf16.h"

namespace OSTREL::Platform {
namespace {

// Registry export files wrap hex data so that no line exceeds 80 characters.
constexpr size_t kHexWrapColumn = 76;

std::string_view Trim(std::string_view text) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<uint32_t> HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

std::optional<uint32_t> ParseHexNumber(std::string_view text, size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  uint32_t number = 0;
  for (char c : text) {
    const auto digit = HexDigit(c);
    if (!digit) return std::nullopt;
    number = (number << 4) | *digit;
  }
  return number;
}

// Reads a quoted text at the start of `text` (\\ and \" are the escapes); advances past the
// closing quote.
std::optional<std::string> ParseQuoted(std::string_view& text) {
  if (text.empty() || text.front() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      text.remove_prefix(i + 1);
      return out;
    }
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
      out += text[++i];
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<uint8_t> bytes;
  text = Trim(text);
  if (text.empty()) return bytes;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string_view token = Trim(text.substr(start, comma - start));
    if (token.empty() && comma == text.size() && !bytes.empty()) break;  // trailing comma
    const auto byte = ParseHexNumber(token, 2);
    if (!byte) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(*byte));
    start = comma + 1;
  }
  return bytes;
}

// Drops the one terminator a stored string carries; NULs inside the text stay.
std::string StringFromUtf16(const std::vector<uint8_t>& bytes) {
  std::string text = Utf16LeToUtf8(bytes);
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::vector<std::string> ListFromUtf16(const std::vector<uint8_t>& bytes) {
  const std::string joined = Utf16LeToUtf8(bytes);
  std::vector<std::string> list;
  size_t start = 0;
  while (start < joined.size()) {
    const size_t end = std::min(joined.find('\0', start), joined.size());
    list.push_back(joined.substr(start, end - start));
    start = end + 1;
  }
  while (!list.empty() && list.back().empty()) list.pop_back();
  return list;
}

std::optional<CRegValue> TypedFromBytes(uint32_t type, std::vector<uint8_t> bytes) {
  switch (type) {
    case kRegSz:
      return CRegValue::String(StringFromUtf16(bytes));
    case kRegExpandSz:
      return CRegValue::ExpandString(StringFromUtf16(bytes));
    case kRegMultiSz:
      return CRegValue::MultiString(ListFromUtf16(bytes));
    case kRegDword:
      if (bytes.size() != 4) return std::nullopt;
      return CRegValue::Dword(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                              (static_cast<uint32_t>(bytes[3]) << 24));
    default:
      return CRegValue::Binary(std::move(bytes), type);
  }
}

// The part after '=': "text", dword:, hex:, hex(N):.
std::optional<CRegValue> ParseData(std::string_view data) {
  data = Trim(data);
  if (!data.empty() && data.front() == '"') {
    auto text = ParseQuoted(data);
    if (!text || !Trim(data).empty()) return std::nullopt;
    // Strings are UTF-8 throughout; this also keeps them intact when written as hex(1).
    return CRegValue::String(SanitizeUtf8(*text));
  }
  if (data.starts_with("dword:")) {
    const auto number = ParseHexNumber(Trim(data.substr(6)), 8);
    if (!number) return std::nullopt;
    return CRegValue::Dword(*number);
  }
  uint32_t type = kRegBinary;
  if (data.starts_with("hex:")) {
    data.remove_prefix(4);
  } else if (data.starts_with("hex(")) {
    const size_t close = data.find("):");
    if (close == std::string_view::npos) return std::nullopt;
    const auto number = ParseHexNumber(data.substr(4, close - 4), 8);
    if (!number) return std::nullopt;
    type = *number;
    data.remove_prefix(close + 2);
  } else {
    return std::nullopt;
  }
  auto bytes = ParseHexBytes(data);
  if (!bytes) return std::nullopt;
  return TypedFromBytes(type, std::move(*bytes));
}

class CParser {
 public:
  CParser(CRegHive& hive, std::string_view sourceName) : hive_(hive), sourceName_(sourceName) {}

  RegParseResult Parse(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    size_t lineNumber = 0;
    size_t pos = 0;
    const auto nextLine = [&]() -> std::optional<std::string_view> {
      if (pos >= text.size()) return std::nullopt;
      const size_t end = std::min(text.find('\n', pos), text.size());
      const std::string_view line = text.substr(pos, end - pos);
      pos = end + 1;
      ++lineNumber;
      return line;
    };
    const auto header = nextLine();
    if (!header || Trim(*header) != kRegFileHeader) return result_;
    result_.isRegFile = true;

    while (const auto raw = nextLine()) {
      std::string line(Trim(*raw));
      const size_t firstLine = lineNumber;
      // Hex data may continue on the following lines after a trailing backslash.
      while (line.ends_with('\\') && line.find("=hex") != std::string::npos) {
        const auto more = nextLine();
        if (!more) break;
        line.pop_back();
        line += Trim(*more);
      }
      ParseLine(line, firstLine);
    }
    return result_;
  }

 private:
  void ParseLine(std::string_view line, size_t number) {
    if (line.empty() || line.front() == ';') return;
    if (line.front() == '[') return ParseSection(line, number);
    if (line.front() == '"' || line.front() == '@') return ParseValue(line, number);
    Skip(number, "unreadable line");
  }

  void ParseSection(std::string_view line, size_t number) {
    key_ = nullptr;
    if (line.starts_with("[-")) return;  // a deletion request: nothing to load
    if (!line.ends_with(']')) return Skip(number, "unterminated key name");
    const auto parts = SplitKeyPath(line.substr(1, line.size() - 2));
    if (parts.empty() || !NamesEqual(parts.front(), hive_.RootName()))
      return Skip(number, "key outside this hive");
    CRegHiveKey* key = &hive_.Root();
    for (size_t i = 1; i < parts.size(); ++i) key = &key->CreateSubKey(parts[i]);
    key_ = key;
  }

  void ParseValue(std::string_view line, size_t number) {
    if (key_ == nullptr) return Skip(number, "value outside a key");
    std::string name;
    if (line.front() == '@') {
      line.remove_prefix(1);
    } else {
      auto quoted = ParseQuoted(line);
      if (!quoted) return Skip(number, "unterminated value name");
      name = std::move(*quoted);
    }
    line = Trim(line);
    if (line.empty() || line.front() != '=') return Skip(number, "missing '='");
    line.remove_prefix(1);
    if (Trim(line) == "-") return;  // a deletion request
    auto value = ParseData(line);
    if (!value) return Skip(number, "unreadable value data");
    key_->SetValue(name, std::move(*value));
  }

  void Skip(size_t number, const char* why) {
    ++result_.skippedLines;
    if (sourceName_.empty() || result_.skippedLines > OSTREL::Limits::kMaxRegistryLineWarnings)
      return;
    LogWarning(sourceName_, ":", number, ": ", why, "; line skipped");
    if (result_.skippedLines == OSTREL::Limits::kMaxRegistryLineWarnings)
      LogWarning(sourceName_, ": further unreadable lines are skipped silently");
  }

  CRegHive& hive_;
  std::string_view sourceName_;
  CRegHiveKey* key_ = nullptr;
  RegParseResult result_;
};

std::string QuoteText(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// Plain quoted text cannot carry line breaks or NULs; such strings go out as hex(1).
bool NeedsHexForm(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string FormatHex(std::string line, const std::vector<uint8_t>& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", bytes[i]);
    line += byte;
    if (i + 1 == bytes.size()) break;
    line += ',';
    if (line.size() > kHexWrapColumn) {
      out += line + "\\\n";
      line = "  ";
    }
  }
  return out + line;
}

std::vector<uint8_t> Utf16WithTerminator(std::string_view text) {
  auto bytes = Utf8ToUtf16Le(text);
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::string FormatValue(const std::string& name, const CRegValue& value) {
  std::string line = (name.empty() ? std::string("@") : QuoteText(name)) + "=";
  char prefix[24];
  std::snprintf(prefix, sizeof prefix, "hex(%x):", value.Type());
  if (const auto* text = value.AsString()) {
    if (value.Type() == kRegSz && !NeedsHexForm(*text)) return line + QuoteText(*text);
    return FormatHex(line + prefix, Utf16WithTerminator(*text));
  }
  if (const auto* list = value.AsMultiString()) {
    std::vector<uint8_t> bytes;
    for (const auto& item : *list) {
      const auto encoded = Utf16WithTerminator(item);
      bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    }
    bytes.insert(bytes.end(), {0, 0});
    return FormatHex(line + prefix, bytes);
  }
  if (const auto number = value.AsDword()) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "dword:%08x", *number);
    return line + digits;
  }
  const auto* bytes = value.AsBytes();
  return FormatHex(line + (value.Type() == kRegBinary ? std::string("hex:") : prefix), *bytes);
}

void FormatKey(const CRegHiveKey& key, const std::string& path, bool isRoot, std::string& out) {
  if (!isRoot || !key.Values().empty()) {
    out += "[" + path + "]\n";
    for (const auto& [name, value] : key.Values()) out += FormatValue(name, value) + "\n";
    out += "\n";
  }
  for (const CRegHiveKey* sub : key.SubKeys())
    FormatKey(*sub, path + "\\" + sub->Name(), false, out);
}

}  // namespace

RegParseResult ParseRegFile(std::string_view text, CRegHive& hive, std::string_view sourceName) {
  return CParser(hive, sourceName).Parse(text);
}

std::string FormatRegFile(const CRegHive& hive) {
  std::string out = std::string(kRegFileHeader) + "\n\n";
  FormatKey(hive.Root(), hive.RootName(), true, out);
  return out;
}

}  // namespace OSTREL::Platform
