#include "engine/protocol/PeerFileMessages.h"

#include <algorithm>

#include "engine/protocol/Limits.h"
#include "engine/protocol/PeerMessages.h"

namespace P2P::Protocol {
namespace {

void AppendFileNameRequest(CStreamWriter& writer, uint32_t remoteCapabilities,
                           const SPartStatus& status, uint32_t completeSources) {
  const uint32_t version = ExtendedRequestVersion(remoteCapabilities);
  if (version == 0) return;
  WritePartStatus(writer, status.fileSize, status.complete, status.whole);
  if (version > 1)
    writer.WriteUInt16(static_cast<uint16_t>(std::min<uint32_t>(completeSources, 0xFFFF)));
}

void AppendFileName(CStreamWriter& writer, const std::string& name) {
  const size_t length = std::min<size_t>(name.size(), 0xFFFF);
  writer.WriteUInt16(static_cast<uint16_t>(length));
  writer.WriteString(std::string_view(name).substr(0, length));
}

}  // namespace

std::vector<uint8_t> BuildFileNameRequest(const _tagUnionHash& file, uint32_t remoteCapabilities,
                                          const SPartStatus& status, uint32_t completeSources) {
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteHash(file);
  AppendFileNameRequest(writer, remoteCapabilities, status, completeSources);
  return payload;
}

std::vector<uint8_t> BuildMultiPacketFileRequest(const _tagUnionHash& file,
                                                 uint32_t remoteCapabilities,
                                                 const SPartStatus& status,
                                                 uint32_t completeSources, bool severalParts,
                                                 bool askSources) {
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteHash(file);
  writer.WriteUInt8(kOpRequestFileName);
  AppendFileNameRequest(writer, remoteCapabilities, status, completeSources);
  // A one-part file needs no status: the file name answer moves on.
  if (severalParts) writer.WriteUInt8(kOpSetRequestedFile);
  if (askSources && SourceExchangeVersion(remoteCapabilities) != 0)
    writer.WriteUInt8(kOpRequestSources);
  if (AichVersion(remoteCapabilities) != 0) writer.WriteUInt8(kOpAichFileHashRequest);
  return payload;
}

std::optional<std::vector<uint8_t>> BuildRequestParts(const _tagUnionHash& file,
                                                      std::span<const uint64_t, 3> starts,
                                                      std::span<const uint64_t, 3> ends,
                                                      bool wide) {
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteHash(file);
  for (const auto offsets : {starts, ends}) {
    for (const uint64_t offset : offsets) {
      if (offset > (wide ? kMaxFileSize : UINT32_MAX)) return std::nullopt;
      if (wide)
        writer.WriteUInt64(offset);
      else
        writer.WriteUInt32(static_cast<uint32_t>(offset));
    }
  }
  return payload;
}

std::vector<uint8_t> BuildAichRequest(const _tagUnionHash& file, uint16_t part,
                                      const AichRoot& root) {
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteHash(file);
  writer.WriteUInt16(part);
  writer.WriteBytes(root);
  return payload;
}

std::vector<uint8_t> BuildFileStatus(const _tagUnionHash& file, const SPartStatus& status) {
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteHash(file);
  WritePartStatus(writer, status.fileSize, status.complete, status.whole);
  return payload;
}

std::vector<uint8_t> BuildFileNameAnswer(const _tagUnionHash& file, const std::string& name) {
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteHash(file);
  AppendFileName(writer, name);
  return payload;
}

std::vector<uint8_t> BuildAichFileHashAnswer(const _tagUnionHash& file, const AichRoot& root) {
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteHash(file);
  writer.WriteBytes(root);
  return payload;
}

std::vector<uint8_t> BuildAichAnswer(const _tagUnionHash& file, uint16_t part, const AichRoot& root,
                                     std::span<const uint8_t> recovery) {
  std::vector<uint8_t> payload = BuildAichRequest(file, part, root);
  payload.insert(payload.end(), recovery.begin(), recovery.end());
  return payload;
}

std::vector<uint8_t> BuildPublicIpAnswer(uint32_t address) {
  std::vector<uint8_t> payload;
  CStreamWriter(payload).WriteUInt32(address);
  return payload;
}

std::vector<uint8_t> BuildAnswerSources(const _tagUnionHash& file,
                                        std::span<const uint8_t> sourceList) {
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteHash(file);
  writer.WriteBytes(sourceList);
  return payload;
}

bool ReadFileNameRequestTail(CStreamReader& reader, uint32_t remoteCapabilities, uint64_t fileSize,
                             SAskerParts& asker) {
  const uint32_t version = ExtendedRequestVersion(remoteCapabilities);
  asker = {};
  if (version == 0) return true;
  std::optional<std::vector<uint8_t>> parts = ReadPartStatus(reader, fileSize);
  if (!parts) {
    asker.state = SAskerParts::EState::kUnreadable;
    return false;
  }
  asker.state = SAskerParts::EState::kRead;
  asker.parts = std::move(*parts);
  // The count of complete sources the asker knows is read past.
  uint16_t count = 0;
  return version < 2 || reader.ReadUInt16(count);
}

std::vector<uint8_t> ReadMultiPacketRequest(CStreamReader& reader, uint32_t remoteCapabilities,
                                            uint64_t fileSize, SAskerParts* asker) {
  std::vector<uint8_t> asked;
  uint8_t opcode = 0;
  while (reader.ReadUInt8(opcode)) {
    if (opcode == kOpRequestFileName) {
      SAskerParts read;
      const bool whole = ReadFileNameRequestTail(reader, remoteCapabilities, fileSize, read);
      if (asker != nullptr) *asker = read;
      if (!whole) break;
    } else if (opcode != kOpSetRequestedFile && opcode != kOpRequestSources &&
               opcode != kOpAichFileHashRequest) {
      break;
    }
    asked.push_back(opcode);
  }
  return asked;
}

std::vector<uint8_t> BuildMultiPacketAnswer(const _tagUnionHash& file,
                                            std::span<const uint8_t> asked,
                                            uint32_t remoteCapabilities,
                                            const SFileAnswers& answers) {
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteHash(file);
  const size_t empty = payload.size();
  for (const uint8_t opcode : asked) {
    if (opcode == kOpSetRequestedFile) {
      writer.WriteUInt8(kOpFileStatus);
      WritePartStatus(writer, answers.status.fileSize, answers.status.complete,
                      answers.status.whole);
    } else if (opcode == kOpRequestFileName) {
      writer.WriteUInt8(kOpFileNameAnswer);
      AppendFileName(writer, answers.name);
    } else if (opcode == kOpRequestSources && answers.sources) {
      writer.WriteUInt8(kOpAnswerSources);
      writer.WriteBytes(*answers.sources);
    } else if (opcode == kOpAichFileHashRequest && answers.aichRoot &&
               AichVersion(remoteCapabilities) != 0) {
      writer.WriteUInt8(kOpAichFileHashAnswer);
      writer.WriteBytes(*answers.aichRoot);
    }
  }
  if (payload.size() == empty) payload.clear();
  return payload;
}

}  // namespace P2P::Protocol
