// Throughput of TCP framing and of the tag codec.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/protocol/Packet.h"
#include "engine/protocol/RecvTCPPacket.h"
#include "engine/protocol/Tag.h"

namespace {

using namespace P2P::Protocol;

struct Counter {
  size_t bytes = 0;
  void Dispatch(uint8_t, uint8_t, std::span<const uint8_t> payload) { bytes += payload.size(); }
};

std::vector<_tagStructTag> OfferTags() {
  std::vector<_tagStructTag> tags(6);
  tags[0].SetString(kTagName, "Some.Long.File.Name.Of.A.Typical.Shared.Video.2026.avi");
  tags[1].SetInteger(kTagSize, 734003200);
  tags[2].SetString(kTagFileType, "Video");
  tags[3].SetString(kTagFileFormat, "avi");
  tags[4].SetInteger("bitrate", 1200);
  tags[5].SetString("codec", "xvid");
  return tags;
}

// Many packets of `payloadSize` bytes back to back, as one large receive would hold them.
void BM_ParseTcpPackets(benchmark::State& state) {
  const size_t payloadSize = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> buffer;
  while (buffer.size() < 4 * 1024 * 1024) {
    CTARNNetTCPPacket packet(0x33);
    packet.Writer().WriteBytes(std::vector<uint8_t>(payloadSize, 0x5A));
    packet.Finish();
    buffer.insert(buffer.end(), packet.Bytes().begin(), packet.Bytes().end());
  }
  Counter counter;
  CTARNNetRecvTCPPacket<Counter> parser(counter);
  for (auto _ : state) benchmark::DoNotOptimize(parser.ParseAll(buffer).consumed);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buffer.size()));
}
BENCHMARK(BM_ParseTcpPackets)->Arg(16)->Arg(256)->Arg(10240);

void BM_WriteTags(benchmark::State& state) {
  const auto tags = OfferTags();
  std::vector<uint8_t> bytes;
  for (auto _ : state) {
    bytes.clear();
    CStreamWriter writer(bytes);
    for (const auto& tag : tags) tag.WriteTag(writer, state.range(0) != 0);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * tags.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_WriteTags)->Arg(0)->Arg(1);

void BM_ReadTags(benchmark::State& state) {
  const auto tags = OfferTags();
  std::vector<uint8_t> bytes;
  CStreamWriter writer(bytes);
  for (const auto& tag : tags) tag.WriteTag(writer, state.range(0) != 0);
  std::vector<_tagStructTag> read;
  for (auto _ : state) {
    CStreamReader reader(bytes);
    benchmark::DoNotOptimize(ReadTags(reader, static_cast<uint32_t>(tags.size()), read));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * tags.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReadTags)->Arg(0)->Arg(1);

}  // namespace
