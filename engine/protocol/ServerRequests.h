// Builders of the packets the engine sends to index servers: the TCP session's login, list,
// offer, search and source requests, and the UDP requests of the server socket. Each returns
// the finished bytes, or nothing when the packet cannot be built. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/base/ClientConfig.h"
#include "engine/base/Hash.h"

namespace P2P::Protocol {

// A server's TCP flags (id change) and UDP flags (status answer) have this bit when it takes
// files above the small-file size: only such a server is offered them or asked for their
// sources. Our login announces it too.
inline constexpr uint32_t kServerFlagLargeFiles = 0x100;
// Capability flags the login announces (tag 0x20): zlib, compact tags, Unicode, large files.
inline constexpr uint32_t kLoginCapabilities = 0x19 | kServerFlagLargeFiles;
inline constexpr uint32_t kLoginTagCount = 5;
// Challenge bases of the UDP status and description requests.
inline constexpr uint32_t kStatusChallengeBase = 0x55AA0000;
inline constexpr uint32_t kDescriptionChallengeLow = 0xF0FF;

// One entry of a source request: the file's hash and size.
struct SSourceRequestEntry {
  _tagUnionHash hash;
  uint64_t size = 0;
};

// True for a file above the small-file size, which goes only to servers with
// kServerFlagLargeFiles.
bool IsLargeFileSize(uint64_t size);

// The client version word as servers get it: bits 0-6 and 24-31 cleared.
constexpr uint32_t LoginClientVersion(uint32_t clientVersionWord) {
  return clientVersionWord & 0x00FFFF80u;
}

std::optional<std::vector<uint8_t>> BuildLoginRequest(const _tagStructClientConfig& config);
// A TCP packet with an opcode and a ready payload (server list, offer, search, more results).
std::optional<std::vector<uint8_t>> BuildTcpPacket(uint8_t opcode,
                                                   std::span<const uint8_t> payload = {});
// The (hash, size) entries of a get-sources message (TCP 0x19, UDP 0x94): 20 bytes with the
// 32-bit size, or for a large file 28 bytes: the hash, a 32-bit zero, the 64-bit size.
std::vector<uint8_t> SourceEntriesPayload(std::span<const SSourceRequestEntry> entries);
// The entries a server takes: all of them when it takes large files, else the small ones.
std::vector<SSourceRequestEntry> SourceEntriesFor(std::span<const SSourceRequestEntry> entries,
                                                  bool serverTakesLargeFiles);
// The 16-byte hashes of a UDP 0x9A request.
std::vector<uint8_t> SourceHashesPayload(std::span<const SSourceRequestEntry> entries);

std::optional<std::vector<uint8_t>> BuildUdpPacket(uint8_t opcode,
                                                   std::span<const uint8_t> payload = {});
std::optional<std::vector<uint8_t>> BuildStatusRequest(uint32_t challenge);
std::optional<std::vector<uint8_t>> BuildDescriptionRequest(uint32_t challenge);

// A 16-bit value from the process generator, reseeded with the time, as the user hash takes
// its words.
uint16_t RandomWord16();
uint32_t MakeStatusChallenge();
uint32_t MakeDescriptionChallenge();

}  // namespace P2P::Protocol
