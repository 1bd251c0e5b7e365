// Builders and readers of the peer TCP packets: the hello family, the part-status bitmap, hash
// sets, data packets, queue ranks and source lists. Pure functions over bytes and plain
// records; every reader checks each length and count before it reads. Any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/base/ClientConfig.h"
#include "engine/base/Hash.h"
#include "engine/protocol/Stream.h"

namespace P2P::Protocol {

// eD2K (0xE3) peer opcodes.
inline constexpr uint8_t kOpPeerHello = 0x01;
inline constexpr uint8_t kOpSendingPart = 0x46;
inline constexpr uint8_t kOpRequestParts = 0x47;
inline constexpr uint8_t kOpFileNotFound = 0x48;
inline constexpr uint8_t kOpEndOfDownload = 0x49;
inline constexpr uint8_t kOpAskSharedFiles = 0x4A;
inline constexpr uint8_t kOpAskSharedFilesAnswer = 0x4B;
inline constexpr uint8_t kOpHelloAnswer = 0x4C;
inline constexpr uint8_t kOpChangeClientId = 0x4D;
inline constexpr uint8_t kOpMessage = 0x4E;
inline constexpr uint8_t kOpSetRequestedFile = 0x4F;
inline constexpr uint8_t kOpFileStatus = 0x50;
inline constexpr uint8_t kOpHashSetRequest = 0x51;
inline constexpr uint8_t kOpHashSetAnswer = 0x52;
inline constexpr uint8_t kOpStartUploadRequest = 0x54;
inline constexpr uint8_t kOpAcceptUploadRequest = 0x55;
inline constexpr uint8_t kOpCancelTransfer = 0x56;
inline constexpr uint8_t kOpOutOfPartRequests = 0x57;
inline constexpr uint8_t kOpRequestFileName = 0x58;
inline constexpr uint8_t kOpFileNameAnswer = 0x59;
inline constexpr uint8_t kOpQueueRankPlain = 0x5C;
inline constexpr uint8_t kOpPortTestAnswer = 0xFE;
// Extended (0xC5) peer opcodes.
inline constexpr uint8_t kOpInfo = 0x01;
inline constexpr uint8_t kOpInfoAnswer = 0x02;
inline constexpr uint8_t kOpCompressedPart = 0x40;
inline constexpr uint8_t kOpQueueRank = 0x60;
inline constexpr uint8_t kOpFileComment = 0x61;
inline constexpr uint8_t kOpRequestSources = 0x81;
inline constexpr uint8_t kOpAnswerSources = 0x82;
inline constexpr uint8_t kOpRequestPreview = 0x90;
inline constexpr uint8_t kOpPreviewAnswer = 0x91;
inline constexpr uint8_t kOpMultiPacket = 0x92;
inline constexpr uint8_t kOpMultiPacketAnswer = 0x93;
inline constexpr uint8_t kOpPublicIpRequest = 0x97;
inline constexpr uint8_t kOpPublicIpAnswer = 0x98;
inline constexpr uint8_t kOpAichRequest = 0x9B;
inline constexpr uint8_t kOpAichAnswer = 0x9C;
inline constexpr uint8_t kOpAichFileHashAnswer = 0x9D;
inline constexpr uint8_t kOpAichFileHashRequest = 0x9E;
// The 64-bit forms of the block packets, for files above kMaxSmallFileSize.
inline constexpr uint8_t kOpCompressedPartWide = 0xA1;
inline constexpr uint8_t kOpSendingPartWide = 0xA2;
inline constexpr uint8_t kOpRequestPartsWide = 0xA3;
inline constexpr uint8_t kOpPortTest = 0xFE;
inline constexpr uint8_t kPortTestAnswerByte = 0x12;

// A client asks the same peer for sources of the same file at most this often; a peer that
// asks more often is not answered.
inline constexpr uint32_t kSourceAskIntervalMs = 40 * 60 * 1000;

// A low id is a server-assigned number, not an address.
inline constexpr uint32_t kPeerLowIdLimit = 0x1000000;
constexpr bool IsPeerLowId(uint32_t id) { return id < kPeerLowIdLimit; }

// The remote side's identity as its hello and info packets describe it.
struct _tagStructPeerIdentity {
  _tagUnionHash userHash;
  uint32_t clientId = 0;
  uint16_t tcpPort = 0;
  uint32_t serverAddress = 0;
  uint16_t serverPort = 0;
  std::string userName;
  std::string secondName;
  uint32_t ed2kVersion = 0;
  uint32_t clientVersion = 0;
  uint16_t udpPort = 0;
  uint16_t secondPort = 0;
  uint32_t capabilities = 0;
  std::array<uint32_t, 3> extraValues{};  // the hello's 0xFC, 0xFD and 0xFE values

  // Files above kMaxSmallFileSize may be asked of and offered to this client.
  bool SupportsLargeFiles() const { return (extraValues[2] & kMiscOptions2LargeFiles) != 0; }
};

// The twelve capability fields, lowest bit first.
constexpr uint32_t CapabilityField(uint32_t word, unsigned shift, uint32_t mask) {
  return (word >> shift) & mask;
}
constexpr uint32_t AichVersion(uint32_t c) { return CapabilityField(c, 29, 7); }
constexpr uint32_t UnicodeSupport(uint32_t c) { return CapabilityField(c, 28, 1); }
constexpr uint32_t UdpVersion(uint32_t c) { return CapabilityField(c, 24, 0xF); }
constexpr uint32_t CompressionVersion(uint32_t c) { return CapabilityField(c, 20, 0xF); }
constexpr uint32_t SecureIdentVersion(uint32_t c) { return CapabilityField(c, 16, 0xF); }
constexpr uint32_t SourceExchangeVersion(uint32_t c) { return CapabilityField(c, 12, 0xF); }
constexpr uint32_t ExtendedRequestVersion(uint32_t c) { return CapabilityField(c, 8, 0xF); }
constexpr uint32_t CommentVersion(uint32_t c) { return CapabilityField(c, 4, 0xF); }
constexpr uint32_t PeerCache(uint32_t c) { return CapabilityField(c, 3, 1); }
constexpr uint32_t SharedListViewable(uint32_t c) { return CapabilityField(c, 2, 1) ^ 1; }
constexpr uint32_t MultiPacketSupport(uint32_t c) { return CapabilityField(c, 1, 1); }
constexpr uint32_t PreviewSupport(uint32_t c) { return CapabilityField(c, 0, 1); }

// A whole TCP packet: protocol, length, opcode, payload. Empty when the payload is too long.
std::vector<uint8_t> BuildPeerPacket(uint8_t protocol, uint8_t opcode,
                                     std::span<const uint8_t> payload = {});

// Hello (with the leading hash-length byte) or hello answer (without), from our identity.
std::vector<uint8_t> BuildHelloPayload(const _tagStructClientConfig& own, bool answer);
bool ReadHello(std::span<const uint8_t> payload, bool answer, _tagStructPeerIdentity& identity,
               SRefusal* refusal = nullptr);
// Info and info answer share one layout.
std::vector<uint8_t> BuildInfoPayload(const _tagStructClientConfig& own);
bool ReadInfo(std::span<const uint8_t> payload, _tagStructPeerIdentity& identity,
              SRefusal* refusal = nullptr);

// Parts a bitmap of `fileSize` must count: one more than whole parts, as other clients count.
constexpr uint32_t StatusPartCount(uint64_t fileSize) {
  return static_cast<uint32_t>(fileSize / 9728000u + 1);
}
// Count 0 (complete) or the status count with the bits; `complete` one byte per data part.
bool WritePartStatus(CStreamWriter& writer, uint64_t fileSize, std::span<const uint8_t> complete,
                     bool whole);
// One byte per data part (1 = present); empty optional on a wrong count or short payload;
// an empty vector means the sender has the whole file.
std::optional<std::vector<uint8_t>> ReadPartStatus(CStreamReader& reader, uint64_t fileSize);

// Hash set answer: hash, u16 count, the hashes.
std::vector<uint8_t> BuildHashSetPayload(const _tagUnionHash& file,
                                         std::span<const _tagUnionHash> hashes);
bool ReadHashSet(std::span<const uint8_t> payload, _tagUnionHash& file,
                 std::vector<_tagUnionHash>& hashes, SRefusal* refusal = nullptr);

// Data packets. Plain: hash, start, end, the bytes. Packed: hash, start, packed length, a slice.
// The fields after the hash are 32-bit, or 64-bit in the wide forms (`wide`), whose offsets
// stop at the largest file.
struct _tagStructDataPacket {
  _tagUnionHash file;
  uint64_t start = 0;
  uint64_t endOrPacked = 0;
  std::span<const uint8_t> data;
};
bool ReadSendingPart(std::span<const uint8_t> payload, _tagStructDataPacket& packet,
                     SRefusal* refusal = nullptr, bool wide = false);
bool ReadCompressedPart(std::span<const uint8_t> payload, _tagStructDataPacket& packet,
                        SRefusal* refusal = nullptr, bool wide = false);

// Source list of an answer-sources packet, bounded by its payload; the user hash is zero in
// lists without one.
struct _tagStructPeerSource {
  uint32_t clientId = 0;
  uint16_t port = 0;
  uint32_t serverAddress = 0;
  uint16_t serverPort = 0;
  _tagUnionHash userHash;
};
bool ReadSources(CStreamReader& reader, bool withUserHash,
                 std::vector<_tagStructPeerSource>& sources);

// A hash then a u16-length name.
bool ReadFileName(CStreamReader& reader, std::string& name);

}  // namespace P2P::Protocol
