// Serves one hostile block request against a download with some parts verified: input is a
// hash selector, the request record (three starts, three ends), a verified-part mask and the
// peer's compression version. Traps if a byte outside verified data is read, or if the packets
// built do not read back as the range asked for.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/hashing/HashConstants.h"
#include "engine/protocol/Inflate.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/protocol/Stream.h"
#include "engine/upload/UploadBlockPackets.h"
#include "engine/upload/UploadBlockReader.h"

namespace {

using namespace P2P::Shared::File::TransferFile;
constexpr uint32_t kSize = 3 * P2P::HASH::kPartSize + 777;

// Packs well, so both packet forms are exercised, yet differs from offset to offset.
uint8_t ByteAt(uint32_t offset) { return static_cast<uint8_t>('a' + (offset >> 6) % 13); }

std::vector<uint8_t> verified;

// A download in progress whose data is made on the fly.
class CPatternDownload final : public ITARNNetTransferFileData {
 public:
  bool ReadRange(uint64_t start, uint64_t end, std::vector<uint8_t>& data) override {
    for (uint32_t part = start / P2P::HASH::kPartSize; part <= (end - 1) / P2P::HASH::kPartSize;
         ++part)
      if (part >= verified.size() || verified[part] == 0) __builtin_trap();
    data.resize(end - start);
    for (uint32_t i = start; i < end; ++i) data[i - start] = ByteAt(i);
    return true;
  }
  bool IsFinished() const override { return false; }
};

void CheckPackets(const std::vector<uint8_t>& out, const _tagStructUploadBlock& block) {
  using namespace P2P::Protocol;
  CStreamReader reader(out);
  uint32_t next = block.start;
  std::vector<uint8_t> packed;
  while (!reader.AtEnd()) {
    uint8_t protocol = 0, opcode = 0;
    uint32_t length = 0;
    std::span<const uint8_t> payload;
    if (!reader.ReadUInt8(protocol) || !reader.ReadUInt32(length) || length == 0 ||
        !reader.ReadUInt8(opcode) || !reader.ReadView(length - 1, payload))
      __builtin_trap();
    _tagStructDataPacket packet;
    if (opcode == kOpSendingPart) {
      if (!ReadSendingPart(payload, packet) || packet.start != next) __builtin_trap();
      for (uint32_t i = 0; i < packet.data.size(); ++i)
        if (packet.data[i] != ByteAt(next + i)) __builtin_trap();
      next = packet.endOrPacked;
    } else if (opcode == kOpCompressedPart) {
      if (!ReadCompressedPart(payload, packet) || packet.start != next) __builtin_trap();
      packed.insert(packed.end(), packet.data.begin(), packet.data.end());
      if (packed.size() < packet.endOrPacked) continue;
      std::vector<uint8_t> plain;
      if (!InflatePacked(packed, plain)) __builtin_trap();
      for (uint32_t i = 0; i < plain.size(); ++i)
        if (plain[i] != ByteAt(next + i)) __builtin_trap();
      next += static_cast<uint32_t>(plain.size());
      packed.clear();
    } else {
      __builtin_trap();
    }
  }
  if (next != block.end || !packed.empty()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace P2P::Shared::File::TransferFile;
  static const CTransferFilePtr file = [] {
    CTransferFilePtr made(new CTARNNetTransferFile());
    P2P::_tagUnionHash hash;
    hash.bytes.fill(0x42);
    made->SetHash(hash);
    made->SetName("notes.txt");
    made->SetSize(kSize);
    made->AttachData(std::make_shared<CPatternDownload>());
    return made;
  }();
  if (size < 27) return 0;
  P2P::Protocol::CStreamReader reader({data, size});
  uint8_t selector = 0, mask = 0, compression = 0;
  uint32_t starts[3], ends[3];
  reader.ReadUInt8(selector);
  for (uint32_t& start : starts) reader.ReadUInt32(start);
  for (uint32_t& end : ends) reader.ReadUInt32(end);
  reader.ReadUInt8(mask);
  reader.ReadUInt8(compression);

  verified.assign(file->PartCount(), 0);
  for (size_t part = 0; part < verified.size(); ++part) verified[part] = (mask >> part) & 1;
  file->CompletionBitmap() = verified;

  const CTARNNetUploadBlockReader blocks([&](const P2P::_tagUnionHash& hash) {
    return (selector & 1) != 0 && hash == file->GetHash() ? file : CTransferFilePtr();
  });
  P2P::_tagUnionHash asked;
  asked.bytes.fill((selector & 2) != 0 ? 0x42 : 0x24);
  for (int i = 0; i < 3; ++i) {
    _tagStructUploadBlock block;
    if (blocks.Read(asked, starts[i], ends[i], block) != EUploadRead::kOk) continue;
    std::vector<uint8_t> out;
    if (!AppendBlockPackets(out, block, compression & 0xF)) __builtin_trap();
    CheckPackets(out, block);
  }
  return 0;
}
