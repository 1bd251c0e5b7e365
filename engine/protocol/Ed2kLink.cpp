#include "engine/protocol/Ed2kLink.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "engine/base/MD4.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/TextCodec.h"
#include "framework/AsciiCase.h"
#include "framework/LogText.h"

namespace P2P::Protocol {
namespace {

constexpr uint64_t kPartSize = 9728000;

// A character of a refused field as the message shows it: printable ASCII quoted, anything
// else (controls, bytes of other characters) by its value, so a message is always plain text.
std::string Quoted(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20 || byte >= 0x7F) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
  }
  return std::string("'") + c + "'";
}

// At most `limit` bytes of a field for a message, cut before a character that would not fit
// and with its control characters spelled out.
std::string Excerpt(std::string_view text, size_t limit) {
  size_t end = std::min(text.size(), limit);
  while (end < text.size() && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  return OSTREL::EscapeForLog(text.substr(0, end));
}

// The code point that starts at `at` in text known to be strict UTF-8; moves `at` past it.
char32_t NextCodePoint(std::string_view text, size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
  char32_t value = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k)
    value = value << 6 | (static_cast<unsigned char>(text[at++]) & 0x3F);
  return value;
}

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

// Reads a link field by field, keeping the first refusal.
class CLinkReader {
 public:
  CLinkReader(std::vector<std::string_view> fields, SLinkError& error)
      : fields_(std::move(fields)), error_(error) {}

  bool Fail(std::string field, std::string reason) {
    error_ = {std::move(field), std::move(reason)};
    return false;
  }

  // The next field that a "|" closes; the text after the last "|" is not one of them.
  bool Next(const char* name, std::string_view& out, size_t limit = kMaxLinkFieldLength) {
    if (next_ + 1 >= fields_.size()) return Fail(name, "missing (the link ends before it)");
    out = fields_[next_++];
    if (out.size() > limit)
      return Fail(name,
                  std::to_string(out.size()) + " characters, at most " + std::to_string(limit));
    return true;
  }
  bool AtEnd() const { return next_ + 1 >= fields_.size(); }
  std::string_view NextOptional() { return fields_[next_++]; }
  std::string_view Tail() const { return fields_.back(); }

 private:
  std::vector<std::string_view> fields_;
  size_t next_ = 1;  // the scheme is field 0
  SLinkError& error_;
};

std::vector<std::string_view> SplitAtBars(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (size_t bar; (bar = text.find('|', start)) != std::string_view::npos; start = bar + 1)
    fields.push_back(text.substr(start, bar - start));
  fields.push_back(text.substr(start));
  return fields;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

// Names come from any web page, so they are held to plain text: the escapes must give UTF-8
// (except that a name written in ASCII alone whose escapes are not UTF-8 is read as
// Windows-1252, the code page older clients escaped names in), and no control character may
// stand in it. The limit counts the characters of the name, not of its escaped form, so a
// name read here is one a formatted link carries back.
bool DecodeName(std::string_view text, std::string& name, CLinkReader& reader) {
  if (!IsStrictUtf8(text)) return reader.Fail("name", "not UTF-8 text");
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      bytes += text[i];
      continue;
    }
    const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
    if (high < 0 || low < 0)
      return reader.Fail("name", "bad percent escape at character " + std::to_string(i + 1));
    bytes += static_cast<char>(high * 16 + low);
    i += 2;
  }
  if (bytes.empty()) return reader.Fail("name", "empty");
  if (IsStrictUtf8(bytes)) {
    name = std::move(bytes);
  } else if (IsAscii(text)) {
    name = DecodeWindows1252(bytes);
  } else {
    return reader.Fail("name", "its escapes do not give UTF-8 text");
  }
  size_t characters = 0;
  for (size_t at = 0; at < name.size(); ++characters) {
    const char32_t c = NextCodePoint(name, at);
    if (IsControl(c)) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
      return reader.Fail("name", std::string("control character ") + code + " at character " +
                                     std::to_string(characters + 1));
    }
  }
  if (characters > kMaxLinkFieldLength)
    return reader.Fail("name", std::to_string(characters) + " characters, at most " +
                                   std::to_string(kMaxLinkFieldLength));
  return true;
}

bool ReadNumber(std::string_view text, uint64_t max, const char* field, uint64_t& value,
                CLinkReader& reader) {
  if (text.empty()) return reader.Fail(field, "empty");
  for (char c : text)
    if (c < '0' || c > '9') return reader.Fail(field, Quoted(c) + " is not a decimal digit");
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size() || value > max)
    return reader.Fail(field, std::string(text) + " is above " + std::to_string(max));
  return true;
}

bool ReadSize(std::string_view text, uint64_t& size, CLinkReader& reader) {
  if (!ReadNumber(text, kMaxFileSize, "size", size, reader)) return false;
  return size != 0 || reader.Fail("size", "0: an empty file cannot be downloaded");
}

bool ReadHash(std::string_view text, const char* field, _tagUnionHash& hash, CLinkReader& reader) {
  for (char c : text)
    if (HexValue(c) < 0) return reader.Fail(field, Quoted(c) + " is not a hexadecimal digit");
  if (text.size() != 32)
    return reader.Fail(field, std::to_string(text.size()) + " hexadecimal digits, 32 expected");
  hash = *_tagUnionHash::FromHex(text);
  return true;
}

bool ReadPort(std::string_view text, const char* field, uint16_t& port, CLinkReader& reader) {
  uint64_t value = 0;
  if (!ReadNumber(text, 65535, field, value, reader)) return false;
  if (value == 0) return reader.Fail(field, "0 is not a port");
  port = static_cast<uint16_t>(value);
  return true;
}

// RFC 4648 base32 (A-Z, 2-7, either case), as links carry the 20-byte AICH root.
bool ReadAichRoot(std::string_view text, std::array<uint8_t, 20>& root, CLinkReader& reader) {
  if (text.size() != 32)
    return reader.Fail("h", std::to_string(text.size()) + " base32 digits, 32 expected");
  uint64_t bits = 0;
  int held = 0;
  size_t out = 0;
  for (char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    if (c >= 'a' && c <= 'z') value = c - 'a';
    if (c >= '2' && c <= '7') value = c - '2' + 26;
    if (value < 0) return reader.Fail("h", Quoted(c) + " is not a base32 digit");
    bits = (bits << 5) | static_cast<uint64_t>(value);
    held += 5;
    if (held >= 8) {
      held -= 8;
      root[out++] = static_cast<uint8_t>(bits >> held);
    }
  }
  return true;
}

_tagUnionHash HashOfPartHashes(const std::vector<_tagUnionHash>& parts) {
  HASH::CMD4 md4;
  for (const auto& part : parts) md4.Update(part.bytes);
  return md4.Final();
}

// "p=" part hashes: as many as the file's hash set holds, and together they give the file hash.
bool ReadPartHashes(std::string_view text, SEd2kLink& link, CLinkReader& reader) {
  std::vector<_tagUnionHash> parts;
  for (size_t start = 0; start <= text.size();) {
    size_t colon = text.find(':', start);
    if (colon == std::string_view::npos) colon = text.size();
    _tagUnionHash part;
    if (!ReadHash(text.substr(start, colon - start), "p", part, reader)) return false;
    parts.push_back(part);
    if (parts.size() > kMaxSmallFileSize / kPartSize + 1)
      return reader.Fail("p", "more part hashes than any file has");
    start = colon + 1;
  }
  const size_t expected = link.size >= kPartSize ? link.size / kPartSize + 1 : 1;
  if (parts.size() != expected)
    return reader.Fail("p", std::to_string(parts.size()) +
                                " part hashes, a file of this size has " +
                                std::to_string(expected));
  const _tagUnionHash whole = expected == 1 ? parts.front() : HashOfPartHashes(parts);
  if (whole != link.hash) return reader.Fail("p", "the part hashes do not give the file hash");
  link.partHashes = std::move(parts);
  return true;
}

bool ReadSources(std::string_view text, SEd2kLink& link, CLinkReader& reader) {
  text.remove_prefix(std::strlen("sources,"));
  for (size_t start = 0; start < text.size();) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string_view item = text.substr(start, comma - start);
    start = comma + 1;
    if (item.empty()) continue;
    const size_t colon = item.rfind(':');
    if (colon == std::string_view::npos)
      return reader.Fail("sources", Excerpt(item, 60) + " has no port (IP:PORT expected)");
    const std::string ip(item.substr(0, colon));
    SLinkSource source;
    in_addr address{};
    if (inet_pton(AF_INET, ip.c_str(), &address) != 1)
      return reader.Fail("sources", Excerpt(ip, 60) + " is not an IPv4 address");
    source.address = address.s_addr;
    if (!ReadPort(item.substr(colon + 1), "sources", source.port, reader)) return false;
    if (link.sources.size() == kMaxLinkSources)
      return reader.Fail("sources", "more than " + std::to_string(kMaxLinkSources) + " sources");
    link.sources.push_back(source);
  }
  return true;
}

// What may follow the hash of an eD2K file link: "h=", "p=", other "x=" fields (ignored),
// the "/" that ends the link proper, and a sources list after it.
bool ReadFileLinkOptions(SEd2kLink& link, CLinkReader& reader) {
  bool closed = false;
  while (!reader.AtEnd()) {
    const std::string_view item = reader.NextOptional();
    if (item == "/") {
      closed = true;
    } else if (item.starts_with("h=")) {
      std::array<uint8_t, 20> root{};
      if (!ReadAichRoot(item.substr(2), root, reader)) return false;
      link.aichRoot = root;
    } else if (item.starts_with("p=")) {
      if (!ReadPartHashes(item.substr(2), link, reader)) return false;
    } else if (item.starts_with("sources,")) {
      if (!ReadSources(item, link, reader)) return false;
    } else if (item.size() < 2 || item[1] != '=') {
      return reader.Fail("link", "unexpected field \"" + Excerpt(item, 40) + "\"");
    }
  }
  if (reader.Tail() == "/" || (reader.Tail().empty() && closed)) return true;
  return reader.Fail("link", "does not end with \"|/\"");
}

bool ReadEd2kFile(SEd2kLink& link, CLinkReader& reader) {
  std::string_view name, size, hash;
  return reader.Next("name", name, kMaxLinkNameTextLength) && reader.Next("size", size) &&
         reader.Next("hash", hash) && DecodeName(name, link.name, reader) &&
         ReadSize(size, link.size, reader) && ReadHash(hash, "hash", link.hash, reader) &&
         ReadFileLinkOptions(link, reader);
}

bool ReadTarnFile(SEd2kLink& link, CLinkReader& reader) {
  std::string_view name, hash, size;
  if (!(reader.Next("name", name, kMaxLinkNameTextLength) && reader.Next("hash", hash) &&
        reader.Next("size", size) && DecodeName(name, link.name, reader) &&
        ReadHash(hash, "hash", link.hash, reader) && ReadSize(size, link.size, reader)))
    return false;
  const std::string_view tail = reader.Tail();
  return (reader.AtEnd() && (tail.empty() || tail == "/")) ||
         reader.Fail("link", "unexpected text after the size");
}

bool ReadServer(SEd2kLink& link, CLinkReader& reader) {
  std::string_view host, port;
  if (!reader.Next("host", host) || !reader.Next("port", port)) return false;
  if (host.empty()) return reader.Fail("host", "empty");
  for (char c : host)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-'))
      return reader.Fail("host", Quoted(c) + " cannot stand in a host name");
  link.host = host;
  if (!ReadPort(port, "port", link.port, reader)) return false;
  return (reader.AtEnd() && reader.Tail() == "/") ||
         reader.Fail("link", "does not end with \"|/\"");
}

bool ReadServerList(SEd2kLink& link, CLinkReader& reader) {
  std::string_view url;
  if (!reader.Next("url", url)) return false;
  if (url.empty()) return reader.Fail("url", "empty");
  if (!IsStrictUtf8(url)) return reader.Fail("url", "not UTF-8 text");
  for (char c : url)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return reader.Fail("url", Quoted(c) + " cannot stand in an address");
  link.url = url;
  return (reader.AtEnd() && reader.Tail() == "/") ||
         reader.Fail("link", "does not end with \"|/\"");
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

}  // namespace

bool ReadEd2kLink(std::string_view text, SEd2kLink& link, SLinkError& error) {
  link = {};
  text = Trim(text);
  if (text.size() > kMaxLinkLength) {
    error = {"link", "longer than " + std::to_string(kMaxLinkLength) + " characters"};
    return false;
  }
  CLinkReader reader(SplitAtBars(text), error);
  const std::string_view scheme = text.substr(0, text.find('|'));
  if (OSTREL::EqualsIgnoreCase(scheme, "tarn://") || OSTREL::EqualsIgnoreCase(scheme, "p2p://")) {
    link.kind = ELinkKind::kFile;
    return ReadTarnFile(link, reader);
  }
  if (!OSTREL::EqualsIgnoreCase(scheme, "ed2k://"))
    return reader.Fail("link", "not an ed2k://, tarn:// or p2p:// link");
  std::string_view type;
  if (!reader.Next("type", type)) return false;
  if (OSTREL::EqualsIgnoreCase(type, "file")) return ReadEd2kFile(link, reader);
  if (OSTREL::EqualsIgnoreCase(type, "server")) {
    link.kind = ELinkKind::kServer;
    return ReadServer(link, reader);
  }
  if (OSTREL::EqualsIgnoreCase(type, "serverlist")) {
    link.kind = ELinkKind::kServerList;
    return ReadServerList(link, reader);
  }
  return reader.Fail("type", "\"" + Excerpt(type, 40) + "\" is not file, server or serverlist");
}

std::string FormatEd2kFileLink(const SEd2kLink& link) {
  std::string name;
  for (unsigned char c : link.name) {
    if (c <= 0x20 || c == '%' || c == '|' || c == 0x7F) {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      name += escape;
    } else {
      name += static_cast<char>(c);
    }
  }
  return "ed2k://|file|" + name + "|" + std::to_string(link.size) + "|" + link.hash.ToHex() + "|/";
}

}  // namespace P2P::Protocol
