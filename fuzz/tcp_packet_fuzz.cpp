// Frames a receive buffer into packets and reads each payload as a tag list.
#include "engine/protocol/RecvTCPPacket.h"
#include "engine/protocol/Tag.h"

struct TagListReader {
  void Dispatch(uint8_t, uint8_t, std::span<const uint8_t> payload) {
    P2P::Protocol::CStreamReader stream(payload);
    uint32_t count = 0;
    std::vector<P2P::Protocol::_tagStructTag> tags;
    if (stream.ReadUInt32(count)) P2P::Protocol::ReadTags(stream, count, tags);
  }
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TagListReader reader;
  P2P::Protocol::CTARNNetRecvTCPPacket<TagListReader> parser(reader);
  const auto result = parser.ParseAll({data, size});
  if (result.consumed > size) __builtin_trap();
  return 0;
}
