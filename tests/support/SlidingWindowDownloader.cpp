#include "tests/support/SlidingWindowDownloader.h"

#include <algorithm>
#include <array>

#include "engine/protocol/PeerMessages.h"

namespace tarn::test {

namespace {
constexpr uint32_t kBlock = 184320;
constexpr size_t kWindow = 3;
}  // namespace

std::vector<SlidingWindowDownloader::Range> SlidingWindowDownloader::Blocks(uint32_t size) {
  std::vector<Range> blocks;
  for (uint32_t start = 0; start < size; start += std::min(kBlock, size - start))
    blocks.push_back({start, std::min(size, start + kBlock)});
  return blocks;
}

bool SlidingWindowDownloader::Whole(const Range& range) const {
  for (uint32_t i = range.first; i < range.second; ++i)
    if (!have_[i]) return false;
  return true;
}

void SlidingWindowDownloader::Take(const RawPeerClient::Packet& packet, Result& result) {
  RawPeerClient::Data data;
  if (!RawPeerClient::ParseData(packet, data) || data.end > have_.size()) return;
  ++result.packets;
  result.wireBytes += 6 + packet.body.size();
  result.dataBytes += data.end - data.start;
  for (uint32_t i = data.start; i < data.end; ++i) {
    if (have_[i]) ++result.duplicateBytes;
    have_[i] = true;
  }
}

// The owed ranges that are whole leave the window; new ones fill it up to three, and the
// request names the window as it stands, repeating what is still on its way.
void SlidingWindowDownloader::AskOwed(const std::vector<Range>& ranges, size_t& next,
                                      std::vector<Range>& owed, Result& result) {
  std::erase_if(owed, [this](const Range& range) { return Whole(range); });
  const size_t before = owed.size();
  while (owed.size() < kWindow && next < ranges.size()) {
    if (!Whole(ranges[next])) owed.push_back(ranges[next]);
    ++next;
  }
  if (owed.empty() || (owed.size() == before && result.requests > 0)) return;
  std::array<uint32_t, 3> starts{}, ends{};
  for (size_t i = 0; i < owed.size(); ++i) {
    starts[i] = owed[i].first;
    ends[i] = owed[i].second;
  }
  peer_.RequestParts(file_, starts, ends);
  ++result.requests;
}

SlidingWindowDownloader::Result SlidingWindowDownloader::Run(const std::vector<Range>& ranges,
                                                             std::chrono::milliseconds deadline,
                                                             std::chrono::milliseconds linger) {
  Result result;
  size_t next = 0;
  std::vector<Range> owed;
  AskOwed(ranges, next, owed, result);
  const auto until = std::chrono::steady_clock::now() + deadline;
  while (!owed.empty() && std::chrono::steady_clock::now() < until) {
    const RawPeerClient::Packet packet = peer_.Read(std::chrono::milliseconds(200));
    if (packet.opcode == 0) continue;
    Take(packet, result);
    AskOwed(ranges, next, owed, result);
  }
  result.whole = std::all_of(ranges.begin(), ranges.end(),
                             [this](const Range& range) { return Whole(range); });
  for (RawPeerClient::Packet packet = peer_.Read(linger); packet.opcode != 0;
       packet = peer_.Read(linger))
    Take(packet, result);
  return result;
}

}  // namespace tarn::test
