#include "engine/protocol/PeerMessages.h"

#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/Tag.h"

namespace P2P::Protocol {

namespace {

constexpr uint8_t kHashLengthByte = 16;

void SetBits(uint32_t& word, unsigned shift, uint32_t mask, uint32_t value) {
  word = (word & ~(mask << shift)) | ((value & mask) << shift);
}

void WriteIntegerTag(CStreamWriter& writer, uint8_t id, uint32_t value) {
  _tagStructTag tag;
  tag.SetInteger(id, value);
  tag.WriteTag(writer, false);
}

// The tags any hello or info may carry; unknown ones are skipped.
void ApplyTag(const _tagStructTag& tag, _tagStructPeerIdentity& identity) {
  if (!tag.HasNameId()) return;
  const uint32_t v = tag.Integer();
  uint32_t& caps = identity.capabilities;
  switch (tag.nameId) {
    case 0x01:
      identity.userName = tag.Text();
      break;
    case 0x0F:
      identity.tcpPort = static_cast<uint16_t>(v);
      break;
    case 0x11:
      identity.ed2kVersion = v;
      break;
    case 0x20:
      SetBits(caps, 20, 0xF, v);
      break;
    case 0x21:
      identity.udpPort = static_cast<uint16_t>(v);
      break;
    case 0x22:
      SetBits(caps, 24, 0xF, v);
      break;
    case 0x23:
      SetBits(caps, 12, 0xF, v);
      break;
    case 0x24:
      SetBits(caps, 4, 0xF, v);
      break;
    case 0x25:
      SetBits(caps, 8, 0xF, v);
      break;
    case 0x26:
      SetBits(identity.clientVersion, 24, 0xFF, v);
      break;
    case 0x27:
      SetBits(caps, 16, 0xF, v);
      SetBits(caps, 0, 1, v >> 7);
      break;
    case 0x55:
      identity.secondName = tag.Text();
      break;
    case 0xF9:
      identity.udpPort = static_cast<uint16_t>(v);
      identity.secondPort = static_cast<uint16_t>(v >> 16);
      break;
    case 0xFA:
      caps = v;
      break;
    case 0xFB:
      identity.clientVersion = v;
      break;
    case 0xFC:
    case 0xFD:
    case 0xFE:
      identity.extraValues[tag.nameId - 0xFC] = v;
      break;
    default:
      break;
  }
}

// A data packet's offset or length: 32-bit, or 64-bit in the wide forms.
bool ReadOffset(CStreamReader& reader, bool wide, uint64_t& value) {
  if (wide) return reader.ReadUInt64(value);
  uint32_t narrow = 0;
  if (!reader.ReadUInt32(narrow)) return false;
  value = narrow;
  return true;
}

bool ReadTagList(CStreamReader& reader, _tagStructPeerIdentity& identity) {
  uint32_t count = 0;
  if (!reader.ReadUInt32(count)) return false;
  std::vector<_tagStructTag> tags;
  if (!ReadTags(reader, count, tags)) return false;
  for (const _tagStructTag& tag : tags) ApplyTag(tag, identity);
  return true;
}

}  // namespace

std::vector<uint8_t> BuildPeerPacket(uint8_t protocol, uint8_t opcode,
                                     std::span<const uint8_t> payload) {
  CTARNNetTCPPacket packet(opcode, protocol);
  if (!packet.Writer().WriteBytes(payload) || !packet.Finish()) return {};
  return packet.Bytes();
}

std::vector<uint8_t> BuildHelloPayload(const _tagStructClientConfig& own, bool answer) {
  std::vector<uint8_t> bytes;
  CStreamWriter writer(bytes);
  if (!answer) writer.WriteUInt8(kHashLengthByte);
  writer.WriteHash(own.userHash);
  writer.WriteUInt32(own.clientId);
  writer.WriteUInt16(own.tcpPort);
  // The second misc-options word (large files) goes out only when it says something.
  const uint32_t options2 = own.helloTagValues[2];
  writer.WriteUInt32(options2 != 0 ? 6 : 5);
  _tagStructTag name;
  name.SetString(0x01, own.userName);
  name.WriteTag(writer, false);
  WriteIntegerTag(writer, 0x11, kEd2kVersion);
  WriteIntegerTag(writer, 0xF9, own.udpPort | (uint32_t{own.secondPort} << 16));
  WriteIntegerTag(writer, 0xFA, own.capabilities);
  WriteIntegerTag(writer, 0xFB, own.clientVersion);
  if (options2 != 0) WriteIntegerTag(writer, 0xFE, options2);
  writer.WriteUInt32(own.helloServerIp);
  writer.WriteUInt16(own.helloServerPort);
  return bytes;
}

bool ReadHello(std::span<const uint8_t> payload, bool answer, _tagStructPeerIdentity& identity,
               SRefusal* refusal) {
  CStreamReader reader(payload);
  uint8_t hashLength = 0;
  if (!answer && !reader.ReadUInt8(hashLength)) return PassRefusal(reader, refusal);
  _tagStructPeerIdentity read = identity;
  if (!reader.ReadHash(read.userHash) || !reader.ReadUInt32(read.clientId) ||
      !reader.ReadUInt16(read.tcpPort) || !ReadTagList(reader, read) ||
      !reader.ReadUInt32(read.serverAddress) || !reader.ReadUInt16(read.serverPort))
    return PassRefusal(reader, refusal);
  identity = std::move(read);
  return true;
}

std::vector<uint8_t> BuildInfoPayload(const _tagStructClientConfig& own) {
  std::vector<uint8_t> bytes;
  CStreamWriter writer(bytes);
  const uint32_t c = own.capabilities;
  writer.WriteUInt8(static_cast<uint8_t>((own.clientVersion >> 17) & 0x7F));
  writer.WriteUInt8(1);
  writer.WriteUInt32(7);
  WriteIntegerTag(writer, 0x20, CompressionVersion(c));
  WriteIntegerTag(writer, 0x22, UdpVersion(c));
  WriteIntegerTag(writer, 0x21, own.udpPort);
  WriteIntegerTag(writer, 0x23, SourceExchangeVersion(c));
  WriteIntegerTag(writer, 0x24, CommentVersion(c));
  WriteIntegerTag(writer, 0x25, ExtendedRequestVersion(c));
  WriteIntegerTag(writer, 0x27, SecureIdentVersion(c));
  return bytes;
}

bool ReadInfo(std::span<const uint8_t> payload, _tagStructPeerIdentity& identity,
              SRefusal* refusal) {
  CStreamReader reader(payload);
  uint8_t version = 0;
  uint8_t protocolVersion = 0;
  if (!reader.ReadUInt8(version) || !reader.ReadUInt8(protocolVersion))
    return PassRefusal(reader, refusal);
  _tagStructPeerIdentity read = identity;
  SetBits(read.clientVersion, 17, 0x7F, version);
  if (protocolVersion == 1) {
    if (version == 35 || version == 36) SetBits(read.capabilities, 24, 0xF, 1);
    if (version >= 34 && version <= 36) SetBits(read.capabilities, 12, 0xF, 1);
    if (version == 36) SetBits(read.capabilities, 4, 0xF, 1);
  }
  if (!ReadTagList(reader, read)) return PassRefusal(reader, refusal);
  identity = std::move(read);
  return true;
}

bool WritePartStatus(CStreamWriter& writer, uint64_t fileSize, std::span<const uint8_t> complete,
                     bool whole) {
  if (whole) return writer.WriteUInt16(0);
  const uint32_t count = StatusPartCount(fileSize);
  if (count > 0xFFFF || !writer.WriteUInt16(static_cast<uint16_t>(count))) return false;
  std::vector<uint8_t> bits((count + 7) / 8, 0);
  // The extra last bit covers no bytes and stays 0.
  const auto dataParts = static_cast<uint32_t>(fileSize / 9728000u + (fileSize % 9728000u != 0));
  for (uint32_t part = 0; part < complete.size() && part < dataParts; ++part)
    if (complete[part] != 0) bits[part / 8] |= static_cast<uint8_t>(1u << (part % 8));
  return writer.WriteBytes(bits);
}

std::optional<std::vector<uint8_t>> ReadPartStatus(CStreamReader& reader, uint64_t fileSize) {
  uint16_t count = 0;
  if (!reader.ReadUInt16(count)) return std::nullopt;
  if (count == 0) return std::vector<uint8_t>{};
  if (count != StatusPartCount(fileSize)) return std::nullopt;
  std::span<const uint8_t> bits;
  if (!reader.ReadView((count + 7u) / 8u, bits)) return std::nullopt;
  const auto dataParts = static_cast<uint32_t>(fileSize / 9728000u + (fileSize % 9728000u != 0));
  std::vector<uint8_t> parts(dataParts, 0);
  for (uint32_t part = 0; part < dataParts; ++part)
    parts[part] = (bits[part / 8] >> (part % 8)) & 1;
  return parts;
}

std::vector<uint8_t> BuildHashSetPayload(const _tagUnionHash& file,
                                         std::span<const _tagUnionHash> hashes) {
  std::vector<uint8_t> bytes;
  CStreamWriter writer(bytes);
  writer.WriteHash(file);
  writer.WriteUInt16(static_cast<uint16_t>(hashes.size()));
  for (const _tagUnionHash& hash : hashes) writer.WriteHash(hash);
  return bytes;
}

bool ReadHashSet(std::span<const uint8_t> payload, _tagUnionHash& file,
                 std::vector<_tagUnionHash>& hashes, SRefusal* refusal) {
  CStreamReader reader(payload);
  uint16_t count = 0;
  if (!reader.ReadHash(file) || !reader.ReadUInt16(count)) return PassRefusal(reader, refusal);
  if (reader.Remaining() < size_t{count} * _tagUnionHash::kSize) {
    reader.Refuse("hash count", ERefusalReason::kTruncated, size_t{count} * _tagUnionHash::kSize,
                  reader.Remaining());
    return PassRefusal(reader, refusal);
  }
  hashes.assign(count, {});
  for (_tagUnionHash& hash : hashes) reader.ReadHash(hash);
  return true;
}

bool ReadSendingPart(std::span<const uint8_t> payload, _tagStructDataPacket& packet,
                     SRefusal* refusal, bool wide) {
  CStreamReader reader(payload);
  if (!reader.ReadHash(packet.file) || !ReadOffset(reader, wide, packet.start) ||
      !ReadOffset(reader, wide, packet.endOrPacked))
    return PassRefusal(reader, refusal);
  if (packet.endOrPacked > kMaxFileSize)
    reader.Refuse("block end", ERefusalReason::kOverLimit, packet.endOrPacked, kMaxFileSize);
  else if (packet.endOrPacked <= packet.start)
    reader.Refuse("block end", ERefusalReason::kMalformed, packet.endOrPacked, packet.start);
  else if (packet.endOrPacked - packet.start > kMaxTransferBlockLength)
    reader.Refuse("block length", ERefusalReason::kOverLimit, packet.endOrPacked - packet.start,
                  kMaxTransferBlockLength);
  else if (reader.Remaining() != packet.endOrPacked - packet.start)
    reader.Refuse("block data", ERefusalReason::kMalformed, reader.Remaining(),
                  packet.endOrPacked - packet.start);
  if (reader.Refusal()) return PassRefusal(reader, refusal);
  packet.data = reader.Rest();
  return true;
}

bool ReadCompressedPart(std::span<const uint8_t> payload, _tagStructDataPacket& packet,
                        SRefusal* refusal, bool wide) {
  CStreamReader reader(payload);
  if (!reader.ReadHash(packet.file) || !ReadOffset(reader, wide, packet.start) ||
      !ReadOffset(reader, wide, packet.endOrPacked) || reader.AtEnd())
    return PassRefusal(reader, refusal);
  if (packet.start >= kMaxFileSize)
    reader.Refuse("block start", ERefusalReason::kOverLimit, packet.start, kMaxFileSize);
  else if (packet.endOrPacked > kMaxPackedBlockInput)
    reader.Refuse("packed block length", ERefusalReason::kOverLimit, packet.endOrPacked,
                  kMaxPackedBlockInput);
  else if (reader.Remaining() > packet.endOrPacked)
    reader.Refuse("packed block data", ERefusalReason::kMalformed, reader.Remaining(),
                  packet.endOrPacked);
  if (reader.Refusal()) return PassRefusal(reader, refusal);
  packet.data = reader.Rest();
  return true;
}

bool ReadSources(CStreamReader& reader, bool withUserHash,
                 std::vector<_tagStructPeerSource>& sources) {
  uint16_t count = 0;
  if (!reader.ReadUInt16(count)) return false;
  const size_t entry = 12 + (withUserHash ? _tagUnionHash::kSize : 0);
  if (reader.Remaining() < count * entry) return false;
  sources.resize(count);
  for (_tagStructPeerSource& source : sources) {
    reader.ReadUInt32(source.clientId);
    reader.ReadUInt16(source.port);
    reader.ReadUInt32(source.serverAddress);
    reader.ReadUInt16(source.serverPort);
    if (withUserHash) reader.ReadHash(source.userHash);
  }
  return true;
}

bool ReadFileName(CStreamReader& reader, std::string& name) {
  uint16_t length = 0;
  return reader.ReadUInt16(length) && reader.ReadString(length, name);
}

}  // namespace P2P::Protocol
