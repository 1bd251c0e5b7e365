// The engine's configuration and identity record, owned by the client module. Its first
// fields are those the engine's peer hellos are built from. Written only at start, at stop
// and through the automation API's configuration object; engine threads read it unlocked.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/base/SharedWord.h"

namespace P2P {

// The client version word: bits 0-6, 7-9, 10-16 and 17-23 (extended-protocol version byte);
// bits 24-31 are not ours to set.
constexpr uint32_t MakeClientVersionWord(uint32_t low, uint32_t mid, uint32_t high,
                                         uint32_t extended) {
  return (low & 0x7F) | ((mid & 0x7) << 7) | ((high & 0x7F) << 10) | ((extended & 0x7F) << 17);
}
inline constexpr uint32_t kClientVersionWord = MakeClientVersionWord(26, 2, 46, 0);
inline constexpr uint32_t kClientVersionKeptBits = 0xFF000000;
static_assert(kClientVersionWord == 0x0000B91A);

// The capability word announced in hellos, built from its twelve fields (lowest bit first).
struct _tagStructCapabilityFields {
  uint32_t bit0, bit1, bit2, bit3;
  uint32_t bits4to7, bits8to11, bits12to15, bits16to19, bits20to23, bits24to27;
  uint32_t bit28, bits29to31;
};
constexpr uint32_t MakeCapabilityWord(const _tagStructCapabilityFields& f) {
  return (f.bit0 & 1) | ((f.bit1 & 1) << 1) | ((f.bit2 & 1) << 2) | ((f.bit3 & 1) << 3) |
         ((f.bits4to7 & 0xF) << 4) | ((f.bits8to11 & 0xF) << 8) | ((f.bits12to15 & 0xF) << 12) |
         ((f.bits16to19 & 0xF) << 16) | ((f.bits20to23 & 0xF) << 20) |
         ((f.bits24to27 & 0xF) << 24) | ((f.bit28 & 1) << 28) | ((f.bits29to31 & 0x7) << 29);
}
inline constexpr uint32_t kCapabilityWord =
    MakeCapabilityWord({0, 1, 1, 1, 1, 2, 3, 3, 1, 4, 1, 1});
static_assert(kCapabilityWord == 0x3413321E);

// Bit 4 of the hello's second misc-options word (tag 0xFE): the client takes files above
// 4,290,048,000 bytes, in the 64-bit block forms.
inline constexpr uint32_t kMiscOptions2LargeFiles = 1u << 4;

inline constexpr uint32_t kEd2kVersion = 60;
inline constexpr size_t kPrivateKeyCapacity = 384;

struct _tagStructClientConfig {
  _tagUnionHash userHash;
  CSharedWord clientId;  // from the connected server; 0 while not logged in
  uint16_t tcpPort = 0;
  uint32_t helloServerIp = 0;  // network byte order
  uint16_t helloServerPort = 0;
  std::string userName;  // UTF-8
  uint32_t ed2kVersion = 0;
  uint32_t clientVersion = 0;  // see kClientVersionWord
  uint16_t udpPort = 0;
  uint16_t secondPort = 0;                   // sent with the UDP port in hellos; always 0
  uint32_t capabilities = 0;                 // see kCapabilityWord
  // The hello's 0xFC, 0xFD and 0xFE values; we take large files.
  std::array<uint32_t, 3> helloTagValues{0, 0, kMiscOptions2LargeFiles};
  uint32_t helloFlags = 0;                   // bit 0 set, bits 1-3 cleared at every start
  uint32_t serverIp = 0;                     // default server, network byte order
  uint16_t serverPort = 0;
  uint32_t privateKeyLength = 0;                          // valid bytes of privateKey
  std::array<uint8_t, kPrivateKeyCapacity> privateKey{};  // Base64 text of the DER key
  std::string applicationPath;                            // root folder of the engine's data
  std::string configPath;  // ServerInfo.dat, Credits.dat, Shared.dat, AICH.dat
  std::string sharedPath;  // shared and completed files
  std::string tempPath;    // part files
  // Further folders clients may name as a download's target ("Download Folders"); the shared
  // and temp folders are always allowed.
  std::vector<std::string> downloadFolders;
  // Uploading and connection limits (rates in KiB/s, 0 = unlimited).
  uint32_t uploadSlots = 4;
  uint32_t maxUploadKiB = 0;
  uint32_t maxDownloadKiB = 0;
  uint32_t maxConnections = 500;
  uint32_t maxQueue = 5000;
};

}  // namespace P2P
