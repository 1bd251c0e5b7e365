// The DOM behind every data file. Writing produces the files' fixed layout byte for byte: the
// declaration literal, then each element preceded by a line break and one tab per nesting
// level, and each closing tag of an element with children preceded by a line break and the
// tabs of its own level. Reading compares element and attribute names without regard to case.
// A document and its elements are used by one thread at a time.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace OSTREL::File {

class CXmlElement {
 public:
  CXmlElement() = default;
  explicit CXmlElement(pugi::xml_node node) : node_(node) {}

  explicit operator bool() const { return node_.type() == pugi::node_element; }
  std::string_view Name() const { return node_.name(); }
  bool NameIs(std::string_view name) const;
  // The element's own text (empty when it has none).
  std::string_view Text() const { return node_.text().get(); }

  // Appends a child element in the file layout and returns it.
  CXmlElement AppendElement(std::string_view name);
  CXmlElement AppendText(std::string_view name, std::string_view text);
  CXmlElement AppendNumber(std::string_view name, uint64_t number);
  CXmlElement AppendSigned(std::string_view name, int64_t number);
  // Removes a child element together with the line break and tabs laid out before it.
  bool RemoveChild(CXmlElement child);

  // Child elements named `name` (any case), in document order.
  std::vector<CXmlElement> Children(std::string_view name) const;
  // Every attribute, then every child element, as (name, text), in document order: a record
  // reader applies them in turn, so both spellings of a field load alike.
  void ForEachField(const std::function<void(std::string_view, std::string_view)>& apply) const;
  // The text of the first child element named `name`, else of such an attribute.
  std::optional<std::string> Value(std::string_view name) const;

 private:
  int Depth() const;

  pugi::xml_node node_;
};

class CXmlDocument {
 public:
  static constexpr std::string_view kDeclaration = R"(<?xml version="1.0" encoding="utf-8" ?>)";

  // An empty document; LoadText() fills it (platform/XmlFile.h loads and saves files).
  CXmlDocument() = default;
  // A new data file: the declaration and an empty root element named `rootName`.
  explicit CXmlDocument(std::string_view rootName);
  CXmlDocument(const CXmlDocument&) = delete;
  CXmlDocument& operator=(const CXmlDocument&) = delete;

  // False when the text is not a well-formed document with a root.
  bool LoadText(std::string_view text);
  // The same, parsing `text` in place: the document keeps it instead of a copy (large files).
  bool LoadOwnedText(std::string text);

  CXmlElement Root() const { return CXmlElement(document_.document_element()); }
  std::string ToText() const;

 private:
  pugi::xml_document document_;
  std::string ownedText_;  // the text parsed in place, referred to by the document
};

// Decimal numbers as the data files hold them; surrounding white space is allowed, anything
// else (signs, digits out of range, trailing text) is refused.
std::optional<uint32_t> ParseUInt32(std::string_view text);
std::optional<uint16_t> ParseUInt16(std::string_view text);
std::optional<uint64_t> ParseUInt64(std::string_view text);
std::optional<int64_t> ParseInt64(std::string_view text);

}  // namespace OSTREL::File
