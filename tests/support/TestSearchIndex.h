// The file index behind the test index server: files its clients offered or the test seeded,
// a decoder for received search trees written apart from the engine's encoder (so the two
// check each other), the matching rules a server applies, and the answer records. Plain
// value type; the server guards it with its own lock.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarn::test {

struct IndexedFile {
  std::array<uint8_t, 16> hash{};
  std::string name;
  uint64_t size = 0;   // above 32 bits: tag 0x3A carries the high half
  std::string type;    // "Audio", "Video", ...
  std::string format;  // extension without the dot; empty: taken from the name
  uint32_t sources = 1;
  uint32_t completeSources = 0;
  uint32_t clientId = 0;
  uint16_t port = 0;
};

// One node of a decoded search tree.
struct SearchNode {
  enum class Kind { kAnd, kOr, kNot, kTerm, kString, kNumber };
  Kind kind = Kind::kTerm;
  std::unique_ptr<SearchNode> left, right;  // operators
  std::string text;                         // term or string value
  uint64_t number = 0;
  uint8_t op = 0;       // 0 =, 1 >, 2 <, 3 >=, 4 <=, 5 !=
  int tagId = -1;       // a one-byte tag name, else -1
  std::string tagName;  // a longer tag name
};

// Decodes a whole search body; nullopt when it is malformed or has bytes left over.
std::unique_ptr<SearchNode> DecodeSearchTree(std::span<const uint8_t> body);
// Prefix text of a tree, for test messages: "AND(a,OR(b,size>3))".
std::string DescribeSearchTree(const SearchNode& node);

bool MatchesSearch(const SearchNode& node, const IndexedFile& file);

// Reads an offer-files payload (count, then records in either tag form) on its own terms; a
// size is tag 0x02's low half and tag 0x3A's high half.
std::optional<std::vector<IndexedFile>> ReadOfferedFiles(std::span<const uint8_t> payload);

// One answer record in the classic tag form: name, size (tag 0x02, with tag 0x3A for a size
// above 32 bits), type, format, sources (tag 21) and complete sources (tag 48).
std::vector<uint8_t> AnswerRecord(const IndexedFile& file);

// A TCP search answer payload: count, the records, the more-results flag.
std::vector<uint8_t> SearchAnswerPayload(std::span<const IndexedFile> files, bool more);
// UDP answers: one 0x99 packet (protocol byte, opcode, record) per file, `perDatagram`
// packets to a datagram.
std::vector<std::vector<uint8_t>> GlobalSearchDatagrams(std::span<const IndexedFile> files,
                                                        size_t perDatagram);

class TestSearchIndex {
 public:
  // A file with the same hash is replaced.
  void Add(const IndexedFile& file);
  size_t Count() const { return files_.size(); }
  // Every file the body's tree matches, in the order added; nullopt for a bad body.
  std::optional<std::vector<IndexedFile>> Search(std::span<const uint8_t> body) const;

 private:
  std::vector<IndexedFile> files_;
};

}  // namespace tarn::test
