#include "framework/XmlDocument.h"

#include <charconv>
#include <sstream>

#include "framework/AsciiCase.h"

namespace OSTREL::File {
namespace {

constexpr unsigned kSaveFlags =
    pugi::format_raw | pugi::format_no_declaration | pugi::format_no_empty_element_tags;

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool IsIndent(pugi::xml_node node) {
  if (node.type() != pugi::node_pcdata) return false;
  for (const char* c = node.value(); *c; ++c)
    if (!IsWhiteSpace(*c)) return false;
  return true;
}

// Built in place: GCC 12 warns (-Wrestrict, a known false positive) on "\n" + std::string.
std::string Indent(int depth) {
  std::string indent(static_cast<size_t>(depth) + 1, '\t');
  indent.front() = '\n';
  return indent;
}

template <typename T>
std::optional<T> ParseNumber(std::string_view text) {
  text = Trim(text);
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

bool CXmlElement::NameIs(std::string_view name) const {
  return OSTREL::EqualsIgnoreCase(Name(), name);
}

int CXmlElement::Depth() const {
  int depth = 0;
  for (pugi::xml_node up = node_.parent(); up && up.type() == pugi::node_element; up = up.parent())
    ++depth;
  return depth;
}

CXmlElement CXmlElement::AppendElement(std::string_view name) {
  if (!*this) return {};
  // The indent before our closing tag moves behind the new child.
  if (IsIndent(node_.last_child())) node_.remove_child(node_.last_child());
  const int depth = Depth();
  const std::string childName(name);
  node_.append_child(pugi::node_pcdata).set_value(Indent(depth + 1).c_str());
  pugi::xml_node child = node_.append_child(childName.c_str());
  node_.append_child(pugi::node_pcdata).set_value(Indent(depth).c_str());
  return CXmlElement(child);
}

CXmlElement CXmlElement::AppendText(std::string_view name, std::string_view text) {
  CXmlElement child = AppendElement(name);
  if (child && !text.empty())
    child.node_.append_child(pugi::node_pcdata).set_value(std::string(text).c_str());
  return child;
}

CXmlElement CXmlElement::AppendNumber(std::string_view name, uint64_t number) {
  return AppendText(name, std::to_string(number));
}

CXmlElement CXmlElement::AppendSigned(std::string_view name, int64_t number) {
  return AppendText(name, std::to_string(number));
}

bool CXmlElement::RemoveChild(CXmlElement child) {
  if (!*this || !child || child.node_.parent() != node_) return false;
  if (IsIndent(child.node_.previous_sibling())) node_.remove_child(child.node_.previous_sibling());
  return node_.remove_child(child.node_);
}

std::vector<CXmlElement> CXmlElement::Children(std::string_view name) const {
  std::vector<CXmlElement> found;
  for (pugi::xml_node child : node_.children())
    if (child.type() == pugi::node_element && OSTREL::EqualsIgnoreCase(child.name(), name))
      found.emplace_back(child);
  return found;
}

void CXmlElement::ForEachField(
    const std::function<void(std::string_view, std::string_view)>& apply) const {
  for (pugi::xml_attribute attribute : node_.attributes())
    apply(attribute.name(), attribute.value());
  for (pugi::xml_node child : node_.children())
    if (child.type() == pugi::node_element) apply(child.name(), child.text().get());
}

std::optional<std::string> CXmlElement::Value(std::string_view name) const {
  for (pugi::xml_node child : node_.children())
    if (child.type() == pugi::node_element && OSTREL::EqualsIgnoreCase(child.name(), name))
      return std::string(child.text().get());
  for (pugi::xml_attribute attribute : node_.attributes())
    if (OSTREL::EqualsIgnoreCase(attribute.name(), name)) return std::string(attribute.value());
  return std::nullopt;
}

CXmlDocument::CXmlDocument(std::string_view rootName) {
  pugi::xml_node root = document_.append_child(std::string(rootName).c_str());
  root.append_child(pugi::node_pcdata).set_value("\n");
}

bool CXmlDocument::LoadOwnedText(std::string text) {
  document_.reset();
  ownedText_ = std::move(text);
  // An element's text is kept in the element rather than a node of its own: half the nodes
  // of a data file whose entries are lists of short fields.
  const pugi::xml_parse_result parsed =
      document_.load_buffer_inplace(ownedText_.data(), ownedText_.size(),
                                    pugi::parse_default | pugi::parse_embed_pcdata,
                                    pugi::encoding_utf8);
  if (!parsed || !document_.document_element()) {
    document_.reset();
    ownedText_.clear();
    return false;
  }
  return true;
}

bool CXmlDocument::LoadText(std::string_view text) {
  document_.reset();
  ownedText_.clear();
  const pugi::xml_parse_result parsed =
      document_.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed || !document_.document_element()) {
    document_.reset();
    return false;
  }
  return true;
}

std::string CXmlDocument::ToText() const {
  std::ostringstream out;
  out << kDeclaration << '\n';
  document_.save(out, "", kSaveFlags, pugi::encoding_utf8);
  return out.str();
}

std::optional<uint32_t> ParseUInt32(std::string_view text) { return ParseNumber<uint32_t>(text); }
std::optional<uint16_t> ParseUInt16(std::string_view text) { return ParseNumber<uint16_t>(text); }
std::optional<uint64_t> ParseUInt64(std::string_view text) { return ParseNumber<uint64_t>(text); }
std::optional<int64_t> ParseInt64(std::string_view text) { return ParseNumber<int64_t>(text); }

}  // namespace OSTREL::File
