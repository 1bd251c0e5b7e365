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
  uint32_t fileSize = 0;
  bool whole = false;
  std::vector<uint8_t> complete;  // one byte per data part, 1 when verified; unused when whole
};

// File name request: the hash, then, as far as the remote client's extended-request version
// asks, our part status and the number of complete sources we know.
std::vector<uint8_t> BuildFileNameRequest(const _tagUnionHash& file, uint32_t remoteCapabilities,
                                          const SPartStatus& status, uint32_t completeSources);
// The same request and its companions in one multi-packet: file name, part status (only for
// a file of several parts), sources and AICH root, each as far as the remote client supports.
std::vector<uint8_t> BuildMultiPacketFileRequest(const _tagUnionHash& file,
                                                 uint32_t remoteCapabilities,
                                                 const SPartStatus& status,
                                                 uint32_t completeSources, bool severalParts);
// Block request: the hash, three starts, three ends.
std::vector<uint8_t> BuildRequestParts(const _tagUnionHash& file,
                                       std::span<const uint32_t, 3> starts,
                                       std::span<const uint32_t, 3> ends);
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

// The sub-requests of a multi-packet request after its hash, in their order, up to the first
// one that is unknown or cut short (those before it are still answered).
std::vector<uint8_t> ReadMultiPacketRequest(CStreamReader& reader, uint32_t remoteCapabilities,
                                            uint32_t fileSize);
// What the asked side knows of a file for a multi-packet answer.
struct SFileAnswers {
  SPartStatus status;
  std::string name;
  std::optional<AichRoot> aichRoot;
};
// The answer to the sub-requests `asked`, in their order: file status, file name and AICH root
// (when we have one and the remote client speaks AICH); sources are not handed out. Empty when
// nothing is answered.
std::vector<uint8_t> BuildMultiPacketAnswer(const _tagUnionHash& file,
                                            std::span<const uint8_t> asked,
                                            uint32_t remoteCapabilities,
                                            const SFileAnswers& answers);

}  // namespace P2P::Protocol
