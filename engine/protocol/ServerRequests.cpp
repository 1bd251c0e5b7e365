#include "engine/protocol/ServerRequests.h"

#include "engine/base/Random.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/ServerMessages.h"
#include "engine/protocol/Tag.h"

namespace P2P::Protocol {

std::optional<std::vector<uint8_t>> BuildLoginRequest(const _tagStructClientConfig& config) {
  CTARNNetTCPPacket packet(kOpLoginRequest);
  CStreamWriter& out = packet.Writer();
  out.WriteHash(config.userHash);
  out.WriteUInt32(0);  // the id is the server's to give
  out.WriteUInt16(config.tcpPort);
  out.WriteUInt32(kLoginTagCount);

  _tagStructTag tags[kLoginTagCount];
  tags[0].SetString(kTagName, config.userName);
  const uint32_t numbers[] = {config.ed2kVersion, config.tcpPort, kLoginCapabilities,
                              LoginClientVersion(config.clientVersion)};
  const uint8_t ids[] = {kTagVersion, kTagPort, kTagServerFlags, kTagClientVersion};
  for (size_t i = 0; i < 4; ++i) {
    tags[i + 1].SetInteger(ids[i], numbers[i]);
    tags[i + 1].type = kTagUInt32;  // servers expect every integer as 32 bits
  }
  for (const _tagStructTag& tag : tags)
    if (!tag.WriteTag(out, false)) return std::nullopt;
  if (!packet.Finish()) return std::nullopt;
  return packet.Bytes();
}

std::optional<std::vector<uint8_t>> BuildTcpPacket(uint8_t opcode,
                                                   std::span<const uint8_t> payload) {
  CTARNNetTCPPacket packet(opcode);
  if (!packet.Writer().WriteBytes(payload) || !packet.Finish()) return std::nullopt;
  return packet.Bytes();
}

bool IsLargeFileSize(uint64_t size) { return size > kMaxSmallFileSize; }

std::vector<uint8_t> SourceEntriesPayload(std::span<const SSourceRequestEntry> entries) {
  std::vector<uint8_t> payload;
  CStreamWriter out(payload);
  for (const SSourceRequestEntry& entry : entries) {
    out.WriteHash(entry.hash);
    if (IsLargeFileSize(entry.size)) {
      out.WriteUInt32(0);
      out.WriteUInt64(entry.size);
    } else {
      out.WriteUInt32(static_cast<uint32_t>(entry.size));
    }
  }
  return payload;
}

std::vector<SSourceRequestEntry> SourceEntriesFor(std::span<const SSourceRequestEntry> entries,
                                                  bool serverTakesLargeFiles) {
  std::vector<SSourceRequestEntry> taken;
  for (const SSourceRequestEntry& entry : entries)
    if (serverTakesLargeFiles || !IsLargeFileSize(entry.size)) taken.push_back(entry);
  return taken;
}

std::vector<uint8_t> SourceHashesPayload(std::span<const SSourceRequestEntry> entries) {
  std::vector<uint8_t> payload;
  CStreamWriter out(payload);
  for (const SSourceRequestEntry& entry : entries) out.WriteHash(entry.hash);
  return payload;
}

std::optional<std::vector<uint8_t>> BuildUdpPacket(uint8_t opcode,
                                                   std::span<const uint8_t> payload) {
  CTARNNetUDPPacket packet(opcode);
  if (!packet.Writer().WriteBytes(payload)) return std::nullopt;
  return packet.Bytes();
}

std::optional<std::vector<uint8_t>> BuildStatusRequest(uint32_t challenge) {
  CTARNNetUDPPacket packet(kOpGlobalStatusRequest);
  if (!packet.Writer().WriteUInt32(challenge)) return std::nullopt;
  return packet.Bytes();
}

std::optional<std::vector<uint8_t>> BuildDescriptionRequest(uint32_t challenge) {
  CTARNNetUDPPacket packet(kOpDescriptionRequest);
  if (!packet.Writer().WriteUInt32(challenge)) return std::nullopt;
  return packet.Bytes();
}

uint16_t RandomWord16() {
  CRandom::SeedWithTime();
  uint16_t value = static_cast<uint16_t>(CRandom::Next());
  if (CRandom::Next() >= 0x3FFF) value |= 0x8000;
  return value;
}

uint32_t MakeStatusChallenge() { return kStatusChallengeBase + RandomWord16(); }

uint32_t MakeDescriptionChallenge() {
  return (uint32_t{RandomWord16()} << 16) + kDescriptionChallengeLow;
}

}  // namespace P2P::Protocol
