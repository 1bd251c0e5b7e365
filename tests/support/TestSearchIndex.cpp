#include "tests/support/TestSearchIndex.h"

#include <algorithm>
#include <cctype>

namespace tarn::test {
namespace {

// A bounded little-endian cursor, separate from the engine's stream reader on purpose.
class Cursor {
 public:
  explicit Cursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool AtEnd() const { return at_ == bytes_.size(); }
  size_t Left() const { return bytes_.size() - at_; }
  bool Take(size_t count, std::span<const uint8_t>& out) {
    if (Left() < count) return false;
    out = bytes_.subspan(at_, count);
    at_ += count;
    return true;
  }
  bool Integer(size_t width, uint64_t& value) {
    std::span<const uint8_t> raw;
    if (!Take(width, raw)) return false;
    value = 0;
    for (size_t i = width; i-- > 0;) value = (value << 8) | raw[i];
    return true;
  }
  bool Text(size_t length, std::string& text) {
    std::span<const uint8_t> raw;
    if (!Take(length, raw)) return false;
    text.assign(raw.begin(), raw.end());
    return true;
  }
  bool Text16(std::string& text) {
    uint64_t length = 0;
    return Integer(2, length) && Text(length, text);
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

constexpr int kMaxDepth = 200;

bool DecodeTagName(Cursor& in, SearchNode& node) {
  std::string name;
  if (!in.Text16(name)) return false;
  if (name.size() == 1)
    node.tagId = static_cast<uint8_t>(name[0]);
  else
    node.tagName = name;
  return true;
}

std::unique_ptr<SearchNode> DecodeNode(Cursor& in, int depth) {
  uint64_t kind = 0;
  if (depth > kMaxDepth || !in.Integer(1, kind)) return nullptr;
  auto node = std::make_unique<SearchNode>();
  switch (kind) {
    case 0x00: {
      uint64_t op = 0;
      if (!in.Integer(1, op) || op > 2) return nullptr;
      node->kind = op == 0 ? SearchNode::Kind::kAnd
                           : (op == 1 ? SearchNode::Kind::kOr : SearchNode::Kind::kNot);
      node->left = DecodeNode(in, depth + 1);
      if (!node->left) return nullptr;
      node->right = DecodeNode(in, depth + 1);
      if (!node->right) return nullptr;
      return node;
    }
    case 0x01:
      node->kind = SearchNode::Kind::kTerm;
      return in.Text16(node->text) ? std::move(node) : nullptr;
    case 0x02:
      node->kind = SearchNode::Kind::kString;
      return in.Text16(node->text) && DecodeTagName(in, *node) ? std::move(node) : nullptr;
    case 0x03:
    case 0x08: {
      node->kind = SearchNode::Kind::kNumber;
      uint64_t op = 0;
      if (!in.Integer(kind == 0x03 ? 4 : 8, node->number) || !in.Integer(1, op)) return nullptr;
      node->op = static_cast<uint8_t>(op);
      return DecodeTagName(in, *node) ? std::move(node) : nullptr;
    }
    default:
      return nullptr;
  }
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool ContainsNoCase(const std::string& haystack, const std::string& needle) {
  return Lower(haystack).find(Lower(needle)) != std::string::npos;
}

std::string Extension(const IndexedFile& file) {
  if (!file.format.empty()) return file.format;
  const size_t dot = file.name.rfind('.');
  return dot == std::string::npos ? std::string() : file.name.substr(dot + 1);
}

bool Compare(uint64_t field, uint8_t op, uint64_t value) {
  switch (op) {
    case 0:
      return field == value;
    case 1:
      return field > value;
    case 2:
      return field < value;
    case 3:
      return field >= value;
    case 4:
      return field <= value;
    case 5:
      return field != value;
    default:
      return false;
  }
}

bool MatchesString(const SearchNode& node, const IndexedFile& file) {
  if (node.tagId == 0x03) return Lower(node.text) == Lower(file.type);
  if (node.tagId == 0x04) return Lower(node.text) == Lower(Extension(file));
  return false;  // media fields: the index knows none
}

bool MatchesNumber(const SearchNode& node, const IndexedFile& file) {
  switch (node.tagId) {
    case 0x02:
      return Compare(file.size, node.op, node.number);
    case 0x15:
      return Compare(file.sources, node.op, node.number);
    case 0x30:
      return Compare(file.completeSources, node.op, node.number);
    default:
      return false;
  }
}

// Classic-form tags of an answer record.
void PutLE(std::vector<uint8_t>& out, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void PutStringTag(std::vector<uint8_t>& out, uint8_t id, const std::string& text) {
  out.push_back(0x02);
  PutLE(out, 1, 2);
  out.push_back(id);
  PutLE(out, text.size(), 2);
  out.insert(out.end(), text.begin(), text.end());
}
void PutNumberTag(std::vector<uint8_t>& out, uint8_t id, uint32_t value) {
  out.push_back(0x03);
  PutLE(out, 1, 2);
  out.push_back(id);
  PutLE(out, value, 4);
}

// One offered tag in either form; fills the fields the index knows.
bool ReadOfferedTag(Cursor& in, IndexedFile& file) {
  uint64_t type = 0;
  if (!in.Integer(1, type)) return false;
  int id = -1;
  std::string name;
  if (type & 0x80) {
    type &= 0x7F;
    uint64_t raw = 0;
    if (!in.Integer(1, raw)) return false;
    id = static_cast<int>(raw);
  } else {
    if (!in.Text16(name)) return false;
    if (name.size() == 1) id = static_cast<uint8_t>(name[0]);
  }
  std::string text;
  uint64_t number = 0;
  bool isNumber = false;
  std::span<const uint8_t> skipped;
  if (type == 0x02) {
    if (!in.Text16(text)) return false;
  } else if (type >= 0x11 && type <= 0x26) {
    if (!in.Text(type - 0x10, text)) return false;
  } else if (type == 0x03 || type == 0x08 || type == 0x09) {
    if (!in.Integer(type == 0x03 ? 4 : (type == 0x08 ? 2 : 1), number)) return false;
    isNumber = true;
  } else if (type == 0x01) {
    if (!in.Take(16, skipped)) return false;
  } else if (type == 0x04) {
    if (!in.Take(4, skipped)) return false;
  } else if (type == 0x05) {
    if (!in.Take(1, skipped)) return false;
  } else if (type == 0x07) {
    uint64_t length = 0;
    if (!in.Integer(4, length) || !in.Take(length, skipped)) return false;
  } else {
    return false;
  }
  if (id == 0x01 && !isNumber) file.name = text;
  if (id == 0x02 && isNumber) file.size = (file.size & ~uint64_t{0xFFFFFFFF}) | number;
  if (id == 0x3A && isNumber) file.size = (file.size & 0xFFFFFFFF) | number << 32;
  if (id == 0x03 && !isNumber) file.type = text;
  if (id == 0x04 && !isNumber) file.format = text;
  return true;
}

}  // namespace

std::unique_ptr<SearchNode> DecodeSearchTree(std::span<const uint8_t> body) {
  Cursor in(body);
  auto root = DecodeNode(in, 0);
  if (!root || !in.AtEnd()) return nullptr;
  return root;
}

std::string DescribeSearchTree(const SearchNode& node) {
  auto tag = [&node] { return node.tagId >= 0 ? "#" + std::to_string(node.tagId) : node.tagName; };
  switch (node.kind) {
    case SearchNode::Kind::kAnd:
    case SearchNode::Kind::kOr:
    case SearchNode::Kind::kNot: {
      const char* op = node.kind == SearchNode::Kind::kAnd
                           ? "AND"
                           : (node.kind == SearchNode::Kind::kOr ? "OR" : "NOT");
      return std::string(op) + "(" + DescribeSearchTree(*node.left) + "," +
             DescribeSearchTree(*node.right) + ")";
    }
    case SearchNode::Kind::kTerm:
      return node.text;
    case SearchNode::Kind::kString:
      return tag() + "=" + node.text;
    case SearchNode::Kind::kNumber:
      return tag() + std::string("=><{}!").substr(node.op < 6 ? node.op : 0, 1) +
             std::to_string(node.number);
  }
  return {};
}

bool MatchesSearch(const SearchNode& node, const IndexedFile& file) {
  switch (node.kind) {
    case SearchNode::Kind::kAnd:
      return MatchesSearch(*node.left, file) && MatchesSearch(*node.right, file);
    case SearchNode::Kind::kOr:
      return MatchesSearch(*node.left, file) || MatchesSearch(*node.right, file);
    case SearchNode::Kind::kNot:
      return MatchesSearch(*node.left, file) && !MatchesSearch(*node.right, file);
    case SearchNode::Kind::kTerm:
      return ContainsNoCase(file.name, node.text);
    case SearchNode::Kind::kString:
      return MatchesString(node, file);
    case SearchNode::Kind::kNumber:
      return MatchesNumber(node, file);
  }
  return false;
}

std::optional<std::vector<IndexedFile>> ReadOfferedFiles(std::span<const uint8_t> payload) {
  Cursor in(payload);
  uint64_t count = 0;
  if (!in.Integer(4, count)) return std::nullopt;
  std::vector<IndexedFile> files;
  for (uint64_t i = 0; i < count; ++i) {
    IndexedFile file;
    std::span<const uint8_t> hash;
    uint64_t clientId = 0, port = 0, tagCount = 0;
    if (!in.Take(16, hash) || !in.Integer(4, clientId) || !in.Integer(2, port) ||
        !in.Integer(4, tagCount))
      return std::nullopt;
    std::copy(hash.begin(), hash.end(), file.hash.begin());
    file.clientId = static_cast<uint32_t>(clientId);
    file.port = static_cast<uint16_t>(port);
    for (uint64_t t = 0; t < tagCount; ++t)
      if (!ReadOfferedTag(in, file)) return std::nullopt;
    files.push_back(std::move(file));
  }
  return files;
}

std::vector<uint8_t> AnswerRecord(const IndexedFile& file) {
  std::vector<uint8_t> out(file.hash.begin(), file.hash.end());
  PutLE(out, file.clientId, 4);
  PutLE(out, file.port, 2);
  const size_t countAt = out.size();
  PutLE(out, 0, 4);
  uint32_t tags = 0;
  PutStringTag(out, 0x01, file.name), ++tags;
  PutNumberTag(out, 0x02, static_cast<uint32_t>(file.size)), ++tags;
  if (file.size >> 32 != 0) PutNumberTag(out, 0x3A, static_cast<uint32_t>(file.size >> 32)), ++tags;
  if (!file.type.empty()) PutStringTag(out, 0x03, file.type), ++tags;
  if (!file.format.empty()) PutStringTag(out, 0x04, file.format), ++tags;
  PutNumberTag(out, 0x15, file.sources), ++tags;
  PutNumberTag(out, 0x30, file.completeSources), ++tags;
  for (size_t i = 0; i < 4; ++i) out[countAt + i] = static_cast<uint8_t>(tags >> (8 * i));
  return out;
}

std::vector<uint8_t> SearchAnswerPayload(std::span<const IndexedFile> files, bool more) {
  std::vector<uint8_t> out;
  PutLE(out, files.size(), 4);
  for (const IndexedFile& file : files) {
    const std::vector<uint8_t> record = AnswerRecord(file);
    out.insert(out.end(), record.begin(), record.end());
  }
  out.push_back(more ? 1 : 0);
  return out;
}

std::vector<std::vector<uint8_t>> GlobalSearchDatagrams(std::span<const IndexedFile> files,
                                                        size_t perDatagram) {
  std::vector<std::vector<uint8_t>> datagrams;
  for (size_t i = 0; i < files.size(); ++i) {
    if (perDatagram == 0 || i % perDatagram == 0) datagrams.emplace_back();
    std::vector<uint8_t>& datagram = datagrams.back();
    datagram.push_back(0xE3);
    datagram.push_back(0x99);
    const std::vector<uint8_t> record = AnswerRecord(files[i]);
    datagram.insert(datagram.end(), record.begin(), record.end());
  }
  return datagrams;
}

void TestSearchIndex::Add(const IndexedFile& file) {
  auto same = std::find_if(files_.begin(), files_.end(),
                           [&file](const IndexedFile& held) { return held.hash == file.hash; });
  if (same != files_.end())
    *same = file;
  else
    files_.push_back(file);
}

std::optional<std::vector<IndexedFile>> TestSearchIndex::Search(
    std::span<const uint8_t> body) const {
  const auto tree = DecodeSearchTree(body);
  if (!tree) return std::nullopt;
  std::vector<IndexedFile> found;
  for (const IndexedFile& file : files_)
    if (MatchesSearch(*tree, file)) found.push_back(file);
  return found;
}

}  // namespace tarn::test
