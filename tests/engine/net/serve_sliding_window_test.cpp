// A serving engine on loopback against a downloader that asks as the network's established
// clients do: three ranges a request, sliding, the owed ones repeated. Every byte goes out
// once, so the bytes on the wire are the file's size plus the packets' own headers.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/protocol/PeerMessages.h"
#include "tests/support/RawPeerClient.h"
#include "tests/support/ServingEngine.h"
#include "tests/support/SlidingWindowDownloader.h"

namespace P2P {
namespace {

using namespace Protocol;
using namespace std::chrono_literals;
using tarn::test::RawPeerClient;
using tarn::test::ServingEngine;
using tarn::test::SlidingWindowDownloader;
using Range = SlidingWindowDownloader::Range;

constexpr uint32_t kFileSize = 14 * 184320 + 777;

class ServeSlidingWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ServingEngine::Options options;
    options.fileSize = kFileSize;
    ASSERT_TRUE(engine_.Start(options));
    ASSERT_TRUE(client_.Connect(engine_.Port()));
    ASSERT_TRUE(client_.Hello());
    ASSERT_TRUE(client_.SendHashed(kOpStartUploadRequest, engine_.FileHash()));
    ASSERT_EQ(client_.ReadUntil(kOpAcceptUploadRequest).opcode, kOpAcceptUploadRequest);
  }
  void ExpectEachByteOnce(const SlidingWindowDownloader::Result& result) {
    EXPECT_TRUE(result.whole);
    EXPECT_EQ(result.duplicateBytes, 0u);
    EXPECT_EQ(result.dataBytes, kFileSize);
    EXPECT_EQ(result.wireBytes,
              kFileSize + result.packets * SlidingWindowDownloader::kPacketOverhead);
  }

  ServingEngine engine_;
  _tagUnionHash user_ = [] {
    _tagUnionHash hash;
    hash.bytes.fill(0x61);
    return hash;
  }();
  RawPeerClient client_{user_};
};

TEST_F(ServeSlidingWindowTest, RepeatedOwedBlocksGoOutOnceAndTheWireCarriesTheFileAndHeaders) {
  SlidingWindowDownloader downloader(client_, engine_.FileHash(), kFileSize);
  const auto result = downloader.Run(SlidingWindowDownloader::Blocks(kFileSize), 20s);
  ExpectEachByteOnce(result);
  // Each request after the first repeated owed blocks: the window did slide.
  EXPECT_GE(result.requests, SlidingWindowDownloader::Blocks(kFileSize).size() - 2);
}

TEST_F(ServeSlidingWindowTest, RangesOverlappingInPartAreTrimmedToWhatIsNew) {
  // Ranges of 100000 bytes every 70000: each overlaps the one before by 30000.
  std::vector<Range> ranges;
  for (uint32_t start = 0; start < kFileSize; start += 70000)
    ranges.push_back({start, std::min(kFileSize, start + 100000)});
  SlidingWindowDownloader downloader(client_, engine_.FileHash(), kFileSize);
  ExpectEachByteOnce(downloader.Run(ranges, 20s));
}

}  // namespace
}  // namespace P2P
