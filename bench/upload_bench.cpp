// Cost of the serving path per block: framing a 184320-byte block into data packets, packing
// it (text that packs, noise that is tried and refused), and ranking in a queue of 6000.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/peers/UploadScheduler.h"
#include "engine/protocol/PeerUploadMessages.h"
#include "engine/upload/UploadBlockPackets.h"

namespace {

using namespace P2P;
constexpr uint32_t kBlock = 184320;

Shared::File::TransferFile::_tagStructUploadBlock Block(bool text,
                                                        Shared::File::EFileCategory category) {
  Shared::File::TransferFile::_tagStructUploadBlock block;
  block.file.bytes.fill(0x11);
  block.start = 0;
  block.end = kBlock;
  block.data.resize(kBlock);
  std::mt19937 random(1);
  for (uint32_t i = 0; i < kBlock; ++i)
    block.data[i] = text ? static_cast<uint8_t>("serving log line\n"[i % 17] + (i >> 12) % 3)
                         : static_cast<uint8_t>(random());
  block.category = category;
  return block;
}

void ServeBlock(benchmark::State& state, bool text, uint32_t compression,
                Shared::File::EFileCategory category) {
  const auto block = Block(text, category);
  std::vector<uint8_t> out;
  out.reserve(2 * kBlock);
  for (auto _ : state) {
    out.clear();
    Shared::File::TransferFile::AppendBlockPackets(out, block, compression);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
}

void BM_PlainBlock(benchmark::State& state) {
  ServeBlock(state, false, 0, Shared::File::kCategoryNone);
}
void BM_VideoBlockNoPackingTried(benchmark::State& state) {
  ServeBlock(state, false, 1, Shared::File::kCategoryVideo);
}
void BM_TextBlockPacked(benchmark::State& state) {
  ServeBlock(state, true, 1, Shared::File::kCategoryDocument);
}
void BM_NoiseBlockPackingRefused(benchmark::State& state) {
  ServeBlock(state, false, 1, Shared::File::kCategoryNone);
}
BENCHMARK(BM_PlainBlock);
BENCHMARK(BM_VideoBlockNoPackingTried);
BENCHMARK(BM_TextBlockPacked);
BENCHMARK(BM_NoiseBlockPackingRefused);

void BM_RankIn6000(benchmark::State& state) {
  Client::_tagStructUploadSchedulerSettings settings;
  settings.slots = 0;
  settings.maxQueue = 6000;
  Client::CTARNNetUploadScheduler scheduler(settings);
  for (uint32_t n = 0; n < 6000; ++n) {
    Client::_tagStructUploadRequester requester;
    std::memcpy(requester.userHash.bytes.data(), &n, sizeof n);
    requester.udpPort = static_cast<uint16_t>(n + 1);
    scheduler.Request(requester);
  }
  _tagUnionHash last;
  const uint32_t n = 5999;
  std::memcpy(last.bytes.data(), &n, sizeof n);
  for (auto _ : state) benchmark::DoNotOptimize(scheduler.Rank(last));
}
BENCHMARK(BM_RankIn6000);

}  // namespace
