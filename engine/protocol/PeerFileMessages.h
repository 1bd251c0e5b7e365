// Builders of what a peer session says about one file, as a downloader (file request, block
// request, AICH recovery request) and as the asked side (file status, file name, multi-packet
// answer, AICH answers), plus the public address answer. Pure functions from plain values to
// payloads (the packet header is added when sent); the reader of a multi-packet request sits
// here beside its answer. Any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/protocol/Stream.h"

namespace P2P::Protocol {

inline constexpr size_t kAichHashBytes = 20;
using AichRoot = std::array<uint8_t, kAichHashBytes>;

// What we tell a peer about the parts of a file: whole, or the verified ones of `fileSize`.
struct SPartStatus {
  uint64_t fileSize = 0;
  bool whole = false;
  std::vector<uint8_t> complete;  // one byte per data part, 1 when verified; unused when whole
};

// File name request: the hash, then, as far as the remote client's extended-request version
// asks, our part status and the number of complete sources we know.
std::vector<uint8_t> BuildFileNameRequest(const _tagUnionHash& file, uint32_t remoteCapabilities,
                                          const SPartStatus& status, uint32_t completeSources);
// The same request and its companions in one multi-packet: file name, part status (only for
// a file of several parts), sources (when `askSources`) and AICH root, each as far as the
// remote client supports.
std::vector<uint8_t> BuildMultiPacketFileRequest(const _tagUnionHash& file,
                                                 uint32_t remoteCapabilities,
                                                 const SPartStatus& status,
                                                 uint32_t completeSources, bool severalParts,
                                                 bool askSources = true);
// Block request: the hash, three starts, three ends, in 32-bit values, or 64-bit ones when
// `wide` (the form for files above kMaxSmallFileSize); nothing when an offset does not fit the
// form or lies beyond the largest file.
std::optional<std::vector<uint8_t>> BuildRequestParts(const _tagUnionHash& file,
                                                      std::span<const uint64_t, 3> starts,
                                                      std::span<const uint64_t, 3> ends,
                                                      bool wide = false);
// AICH recovery data request for one part, against the root we trust.
std::vector<uint8_t> BuildAichRequest(const _tagUnionHash& file, uint16_t part,
                                      const AichRoot& root);

// File status answer: the hash and our part status.
std::vector<uint8_t> BuildFileStatus(const _tagUnionHash& file, const SPartStatus& status);
// File name answer: the hash and the name (cut to 65535 bytes).
std::vector<uint8_t> BuildFileNameAnswer(const _tagUnionHash& file, const std::string& name);
// AICH root answer.
std::vector<uint8_t> BuildAichFileHashAnswer(const _tagUnionHash& file, const AichRoot& root);
// AICH recovery answer: part, root, then the recovery data as the hash set wrote it.
std::vector<uint8_t> BuildAichAnswer(const _tagUnionHash& file, uint16_t part, const AichRoot& root,
                                     std::span<const uint8_t> recovery);
// Public address answer: the address the remote client reaches us at (wire order).
std::vector<uint8_t> BuildPublicIpAnswer(uint32_t address);
// Answer sources: the hash, then a source list as the file's source list writes it.
std::vector<uint8_t> BuildAnswerSources(const _tagUnionHash& file,
                                        std::span<const uint8_t> sourceList);

// The asker's own part status, which a file name request carries after the hash when the
// asker's extended-request version is nonzero (a count of complete sources follows from 2 on).
struct SAskerParts {
  enum class EState { kNotSent, kRead, kUnreadable };
  EState state = EState::kNotSent;
  std::vector<uint8_t> parts;  // when read: one byte per part, 1 = held; empty = whole file
};
// Reads what follows the hash of a file name request; false when the status is unreadable (a
// wrong part count) or the request is cut short.
bool ReadFileNameRequestTail(CStreamReader& reader, uint32_t remoteCapabilities, uint64_t fileSize,
                             SAskerParts& asker);

// The sub-requests of a multi-packet request after its hash, in their order, up to the first
// one that is unknown or cut short (those before it are still answered). `asker`, when given,
// takes the part status a file name sub-request carries.
std::vector<uint8_t> ReadMultiPacketRequest(CStreamReader& reader, uint32_t remoteCapabilities,
                                            uint64_t fileSize, SAskerParts* asker = nullptr);
// What the asked side knows of a file for a multi-packet answer.
struct SFileAnswers {
  SPartStatus status;
  std::string name;
  std::optional<AichRoot> aichRoot;
  std::optional<std::vector<uint8_t>> sources;  // a written source list; none: not answered
};
// The answer to the sub-requests `asked`, in their order: file status, file name, sources
// (when given) and AICH root (when we have one and the remote client speaks AICH). Empty when
// nothing is answered.
std::vector<uint8_t> BuildMultiPacketAnswer(const _tagUnionHash& file,
                                            std::span<const uint8_t> asked,
                                            uint32_t remoteCapabilities,
                                            const SFileAnswers& answers);

}  // namespace P2P::Protocol
