// The records an index server sends (over TCP or UDP) and the pure readers that turn a packet
// payload into them. Every reader checks each length before it reads and fails, changing
// nothing, on a short or malformed payload. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/protocol/Stream.h"
#include "engine/protocol/Tag.h"

namespace P2P::Protocol {

// Opcodes of the server protocol (protocol byte 0xE3).
enum EServerOpcode : uint8_t {
  kOpLoginRequest = 0x01,
  kOpReject = 0x05,
  kOpGetServerList = 0x14,
  kOpOfferFiles = 0x15,
  kOpSearchRequest = 0x16,
  kOpGetSources = 0x19,
  kOpQueryMoreResults = 0x21,
  kOpServerList = 0x32,
  kOpSearchResult = 0x33,
  kOpServerStatus = 0x34,
  kOpCallbackRequested = 0x35,
  kOpCallbackFailed = 0x36,
  kOpServerMessage = 0x38,
  kOpIdChange = 0x40,
  kOpServerIdent = 0x41,
  kOpFoundSources = 0x42,
  // UDP
  kOpGlobalSearch3 = 0x92,
  kOpGlobalGetSources2 = 0x94,
  kOpGlobalStatusRequest = 0x96,
  kOpGlobalStatusAnswer = 0x97,
  kOpGlobalSearch = 0x98,
  kOpGlobalSearchResult = 0x99,
  kOpGlobalGetSources = 0x9A,
  kOpGlobalFoundSources = 0x9B,
  kOpRequest9C = 0x9C,
  kOpServerListRequest = 0xA0,
  kOpServerListAnswer = 0xA1,
  kOpDescriptionRequest = 0xA2,
  kOpDescriptionAnswer = 0xA3,
  kOpServerListRequest2 = 0xA4,
};

// Server-identity and description tags.
inline constexpr uint8_t kTagServerName = 0x01;
inline constexpr uint8_t kTagServerDescription = 0x0B;
inline constexpr uint8_t kTagServerHostName = 0x85;

// The first two bytes of a tagged description answer, read as a little-endian word.
inline constexpr uint16_t kTaggedDescriptionMark = 0xF0FF;

struct SAddressPort {
  uint32_t address = 0;  // wire order
  uint16_t port = 0;
  bool operator==(const SAddressPort&) const = default;
};

// A source: a client id (a low id, or the peer's address) and its TCP port.
using SSourceAddress = SAddressPort;

// One file of a search answer or an offer: hash, the offering client and the file's tags.
struct SOfferRecord {
  _tagUnionHash hash;
  uint32_t clientId = 0;
  uint16_t port = 0;
  std::vector<_tagStructTag> tags;
};

struct SSearchResults {
  std::vector<SOfferRecord> records;
  bool more = false;
};

struct SFoundSources {
  _tagUnionHash hash;
  std::vector<SSourceAddress> sources;
};

struct SServerIdent {
  _tagUnionHash hash;
  uint32_t address = 0;
  uint16_t port = 0;
  std::optional<std::string> name;
  std::optional<std::string> description;
  std::optional<std::string> hostName;
};

struct SServerDescription {
  std::optional<std::string> name;
  std::optional<std::string> description;
  std::optional<std::string> hostName;  // tagged form only
};

// The eight values of a UDP status answer, in their wire order.
struct SServerStatusAnswer {
  uint32_t values[8] = {};
};

// Reads one offer record at the stream's position; on failure the stream stays put.
bool ReadOfferRecord(CStreamReader& stream, SOfferRecord& record);

// The parsers return nothing when they refuse the payload and then, given `refusal`, say why.
std::optional<std::vector<SAddressPort>> ParseServerList(std::span<const uint8_t> payload,
                                                         SRefusal* refusal = nullptr);
std::optional<SSearchResults> ParseSearchResults(std::span<const uint8_t> payload,
                                                 SRefusal* refusal = nullptr);
std::optional<std::string> ParseServerMessage(std::span<const uint8_t> payload,
                                              SRefusal* refusal = nullptr);
std::optional<SFoundSources> ParseFoundSources(std::span<const uint8_t> payload,
                                               SRefusal* refusal = nullptr);
std::optional<SServerIdent> ParseServerIdent(std::span<const uint8_t> payload,
                                             SRefusal* refusal = nullptr);
std::optional<SServerStatusAnswer> ParseStatusAnswer(std::span<const uint8_t> payload,
                                                     SRefusal* refusal = nullptr);
std::optional<SServerDescription> ParseDescriptionAnswer(std::span<const uint8_t> payload,
                                                         SRefusal* refusal = nullptr);

// Both the TCP (users, files) and the callback (address, port) messages are fixed pairs.
bool ReadUInt32Pair(std::span<const uint8_t> payload, uint32_t& first, uint32_t& second,
                    SRefusal* refusal = nullptr);
bool ReadAddressPort(std::span<const uint8_t> payload, SAddressPort& value,
                     SRefusal* refusal = nullptr);

}  // namespace P2P::Protocol
