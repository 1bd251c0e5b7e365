// Several downloaders against one serving engine over loopback: one slot passes from client to
// client as each uses up its share, the better-credited waiter is called first, every
// downloader ends with the file's exact bytes, and "Max Upload" holds the sending rate.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/base/IdentityKey.h"
#include "engine/net/SecureIdentification.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RawPeerClient.h"
#include "tests/support/ServingEngine.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using namespace Protocol;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tarn::test::RawPeerClient;
using tarn::test::ServingEngine;
using tarn::test::WaitUntil;
constexpr uint32_t kBlock = 184320;

_tagUnionHash User(uint8_t n) {
  _tagUnionHash hash;
  hash.bytes.fill(n);
  hash.bytes[5] = 0x77;
  return hash;
}

// Plays a downloader on its own thread: asks three blocks at a time from where its data ends,
// starts again from there whenever it is called back, and says end of download when whole.
class Downloader {
 public:
  Downloader(uint8_t id, const ServingEngine& engine, uint32_t size)
      : id_(id), client_(User(id)), file_(engine.FileHash()), size_(size), data_(size) {}
  ~Downloader() { Join(); }

  RawPeerClient& Client() { return client_; }
  uint8_t Id() const { return id_; }
  // Accept-upload packets, in arrival order across downloaders, go to `calls`.
  void Run(std::vector<uint8_t>* calls, std::mutex* callsLock) {
    thread_ = std::thread([=, this] { Loop(calls, callsLock); });
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  // Asks for its first blocks at once, for a downloader whose grant the test read itself.
  void RequestNow() { RequestNext(); }
  bool Whole() const { return done_.load(); }
  uint64_t Received() const { return received_.load(); }
  bool Correct() const {
    for (uint32_t i = 0; i < size_; ++i)
      if (data_[i] != ServingEngine::ByteAt(i)) return false;
    return true;
  }
  std::atomic<uint32_t> ranks{0};
  std::atomic<bool> stop{false};

 private:
  void RequestNext() {
    std::array<uint32_t, 3> starts{}, ends{};
    uint32_t at = have_;
    for (size_t i = 0; i < 3 && at < size_; ++i, at = ends[i - 1]) {
      starts[i] = at;
      ends[i] = std::min(size_, at + kBlock);
    }
    asked_ = at;
    client_.RequestParts(file_, starts, ends);
  }
  void Loop(std::vector<uint8_t>* calls, std::mutex* callsLock) {
    const auto deadline = Clock::now() + 60s;
    while (!stop.load() && have_ < size_ && Clock::now() < deadline) {
      const RawPeerClient::Packet packet = client_.Read(200ms);
      RawPeerClient::Data range;
      if (packet.opcode == kOpAcceptUploadRequest) {
        if (calls != nullptr) {
          std::lock_guard guard(*callsLock);
          calls->push_back(id_);
        }
        RequestNext();
      } else if (packet.opcode == kOpQueueRank) {
        ++ranks;
      } else if (RawPeerClient::ParseData(packet, range) && range.end <= size_ &&
                 range.start <= have_) {
        std::memcpy(data_.data() + range.start, packet.body.data() + 24, range.end - range.start);
        have_ = std::max(have_, range.end);
        received_ += range.end - range.start;
        if (have_ >= asked_ && have_ < size_) RequestNext();
      }
    }
    if (have_ >= size_) {
      client_.SendHashed(kOpEndOfDownload, file_);
      done_.store(true);
    }
  }

  uint8_t id_;
  RawPeerClient client_;
  _tagUnionHash file_;
  uint32_t size_;
  std::vector<uint8_t> data_;
  uint32_t have_ = 0;   // bytes whole from the start
  uint32_t asked_ = 0;  // end of the last request
  std::atomic<uint64_t> received_{0};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

TEST(ServeRotationTest, OneSlotRotatesAmongThreeAndTheBetterCreditedWaiterIsCalledFirst) {
  tarn::test::ManualClock clock;  // frozen: waiting time passes only when the test says
  ServingEngine engine;
  ServingEngine::Options options;
  options.fileSize = 3 * 1024 * 1024 + 1234;
  options.scheduler.slots = 1;
  options.scheduler.rotationBytes = 1024 * 1024;  // a slot's share, scaled down from a part
  options.passMs = 20;
  ASSERT_TRUE(engine.Start(options));
  Client::CTARNNetUploadScheduler& scheduler = engine.Service().Scheduler();

  Downloader first(1, engine, options.fileSize), plain(2, engine, options.fileSize),
      credited(3, engine, options.fileSize);
  ASSERT_TRUE(credited.Client().SetIdentityKey(*GenerateIdentityKey()));
  for (Downloader* d : {&first, &plain, &credited}) {
    ASSERT_TRUE(d->Client().Connect(engine.Port()));
    ASSERT_TRUE(d->Client().Hello());
  }
  // The credited user proves its identity and has given us more than it took.
  ASSERT_TRUE(WaitUntil([&] {
    credited.Client().Read(20ms);
    return engine.Credits().IdentificationState(credited.Client().User()) ==
           Credit::kIdentVerified;
  }));
  ASSERT_TRUE(engine.Credits().AddDownloaded(credited.Client().User(), 8 * 1024 * 1024));
  EXPECT_GT(engine.Credits().CreditModifier(credited.Client().User()), 3.0);

  std::vector<uint8_t> calls;
  std::mutex callsLock;
  ASSERT_TRUE(first.Client().SendHashed(kOpStartUploadRequest, engine.FileHash()));
  ASSERT_EQ(first.Client().Read().opcode, kOpAcceptUploadRequest);
  calls.push_back(first.Id());
  // Both others wait, the plain one first: at the same tick, arrival decides.
  ASSERT_TRUE(plain.Client().SendHashed(kOpStartUploadRequest, engine.FileHash()));
  EXPECT_EQ(RawPeerClient::RankOf(plain.Client().Read()), 1);
  ASSERT_TRUE(credited.Client().SendHashed(kOpStartUploadRequest, engine.FileHash()));
  EXPECT_EQ(RawPeerClient::RankOf(credited.Client().Read()), 2);
  // Having waited as long, the credited one goes ahead.
  clock.Advance(1000);
  EXPECT_EQ(scheduler.Rank(credited.Client().User()), 1u);
  EXPECT_EQ(scheduler.Rank(plain.Client().User()), 2u);

  first.RequestNow();
  first.Run(&calls, &callsLock);
  plain.Run(&calls, &callsLock);
  credited.Run(&calls, &callsLock);
  for (Downloader* d : {&first, &plain, &credited}) d->Join();

  for (Downloader* d : {&first, &plain, &credited}) {
    EXPECT_TRUE(d->Whole()) << int(d->Id()) << " has " << d->Received();
    EXPECT_TRUE(d->Correct()) << int(d->Id());
    EXPECT_GE(d->ranks.load(), 1u) << int(d->Id());  // each waited at least once
  }
  std::lock_guard guard(callsLock);
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[1], credited.Id());
  EXPECT_EQ(calls[2], plain.Id());
  // Three shares each: the slot went round several times.
  EXPECT_GE(calls.size(), 7u);
  EXPECT_TRUE(WaitUntil([&] { return scheduler.SlotsInUse() == 0; }));
  EXPECT_EQ(engine.UnverifiedReads(), 0u);
}

TEST(ServeRotationTest, MaxUploadHoldsTheSendingRateWithinTenPercent) {
  ServingEngine engine;
  ServingEngine::Options options;
  options.fileSize = 8 * 1024 * 1024;
  options.maxUploadKiB = 1024;
  ASSERT_TRUE(engine.Start(options));
  Downloader reader(1, engine, options.fileSize);
  ASSERT_TRUE(reader.Client().Connect(engine.Port()));
  ASSERT_TRUE(reader.Client().Hello());
  ASSERT_TRUE(reader.Client().SendHashed(kOpStartUploadRequest, engine.FileHash()));
  reader.Run(nullptr, nullptr);
  // Measured past the first moments, whose burst the bucket allows.
  const auto start = Clock::now();
  std::this_thread::sleep_for(500ms);
  const uint64_t before = reader.Received();
  const auto from = Clock::now();
  std::this_thread::sleep_for(3s);
  const uint64_t after = reader.Received();
  const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
  reader.stop.store(true);
  reader.Join();
  const double rate = static_cast<double>(after - before) / seconds;
  RecordProperty("bytes_per_second", static_cast<int>(rate));
  EXPECT_NEAR(rate, 1024.0 * 1024.0, 0.1 * 1024.0 * 1024.0);
  EXPECT_LT(Clock::now() - start, 6s);
}

}  // namespace
}  // namespace P2P
