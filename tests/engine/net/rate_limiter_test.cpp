#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/net/TARNNetRateLimiter.h"
#include "engine/net/TARNNetTransferBudget.h"
#include "tests/support/ManualClock.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

constexpr uint64_t kKiB = 1024;

TEST(RateLimiterTest, SimulatedTransferHoldsTheRateWithinTenPercent) {
  tarn::test::ManualClock clock;
  CTARNNetRateLimiter limiter;
  limiter.SetRateKiB(1024);
  // Three sessions each wanting a 64 KiB send every 5 ms (far above the limit) for 20 s.
  uint64_t sent = 0;
  for (int step = 0; step < 4000; ++step) {
    for (int session = 0; session < 3; ++session) {
      const uint32_t granted = limiter.Take(64 * kKiB);
      // Sends that wrote less return the rest.
      const uint32_t written = granted - granted / 8;
      limiter.GiveBack(granted - written);
      sent += written;
    }
    clock.Advance(5);
  }
  const double rate = static_cast<double>(sent) / 20.0;
  EXPECT_NEAR(rate, 1024.0 * kKiB, 0.1 * 1024.0 * kKiB);
}

TEST(RateLimiterTest, WholeBlocksHoldTheRateEvenWhenLargerThanTheBurst) {
  for (const uint32_t kib : {1024u, 100u}) {
    tarn::test::ManualClock clock;
    CTARNNetRateLimiter limiter;
    limiter.SetRateKiB(kib);
    uint64_t sent = 0;
    for (int ms = 0; ms < 60000; ++ms) {
      while (limiter.TakeWhole(184320)) sent += 184320;
      clock.Advance(1);
    }
    const double rate = static_cast<double>(sent) / 60.0;
    EXPECT_NEAR(rate, kib * 1024.0, 0.1 * kib * 1024.0) << kib;
  }
  // In debt nothing more goes out until the debt is paid.
  tarn::test::ManualClock clock;
  CTARNNetRateLimiter limiter(10000);
  limiter.Take(1000000);
  EXPECT_TRUE(limiter.TakeWhole(0));  // not in debt yet
  EXPECT_TRUE(limiter.TakeWhole(50000));
  EXPECT_FALSE(limiter.TakeWhole(1));
  EXPECT_EQ(limiter.Take(1), 0u);
  EXPECT_EQ(limiter.MillisecondsUntil(1), 5001u);
  clock.Advance(5000);
  EXPECT_TRUE(limiter.TakeWhole(1));
  // Bytes already received are counted whatever the bucket holds; the answer is the wait.
  clock.Advance(10000);
  EXPECT_EQ(limiter.Spend(2500), 0u);       // the bucket held 2500 (a quarter second)
  EXPECT_EQ(limiter.Spend(20000), 2000u);  // 20000 in debt at 10 bytes/ms
  EXPECT_EQ(limiter.MillisecondsUntil(1), 2001u);
}

TEST(RateLimiterTest, IdleTimeBuysAQuarterSecondAtMostAndWaitsAreExact) {
  tarn::test::ManualClock clock;
  CTARNNetRateLimiter limiter(100000);
  clock.Advance(60000);
  EXPECT_EQ(limiter.Take(1000000), 25000u);  // 250 ms of the rate
  EXPECT_EQ(limiter.Take(1), 0u);
  EXPECT_EQ(limiter.MillisecondsUntil(1000), 10u);
  clock.Advance(9);
  EXPECT_EQ(limiter.Take(1000), 900u);
  // Slow rates accumulate fractions of bytes instead of rounding them away.
  limiter.SetRate(10);
  limiter.Take(1000000);
  for (int i = 0; i < 100; ++i) clock.Advance(1);
  EXPECT_EQ(limiter.Take(1000), 1u);
  // Asking for more than a burst waits for a burst, not for ever.
  limiter.SetRate(4000);
  limiter.Take(1000000);
  EXPECT_EQ(limiter.MillisecondsUntil(1000000), 365u);  // 1460 bytes at 4 bytes/ms
}

TEST(RateLimiterTest, UnlimitedGrantsEverything) {
  CTARNNetRateLimiter limiter;
  EXPECT_EQ(limiter.Take(0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_EQ(limiter.MillisecondsUntil(0xFFFFFFFFu), 0u);
  limiter.SetRate(1000);
  limiter.SetRate(0);
  EXPECT_EQ(limiter.Take(5000000), 5000000u);
  EXPECT_EQ(limiter.Spend(5000000), 0u);
}

TEST(RateLimiterTest, SessionsOnManyThreadsShareOneBudget) {
  tarn::test::ManualClock clock;
  CTARNNetRateLimiter limiter(200000);
  limiter.Take(1000000);  // start empty
  std::atomic<uint64_t> taken{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> sessions;
  for (int i = 0; i < 4; ++i)
    sessions.emplace_back([&] {
      while (!stop.load()) taken += limiter.Take(997);
    });
  // Each 10 ms step adds 2000 bytes; the sessions between them take exactly that, never more.
  for (uint64_t step = 1; step <= 100; ++step) {
    clock.Advance(10);
    ASSERT_TRUE(tarn::test::WaitUntil([&] { return taken.load() >= step * 2000; }));
    EXPECT_EQ(taken.load(), step * 2000);
  }
  stop = true;
  for (auto& session : sessions) session.join();
  EXPECT_EQ(taken.load(), 200000u);
}

// Received bytes are credited to their sender whatever the allowance; the answer is the wait
// before reading on.
TEST(TransferBudgetTest, CreditsTheSenderAndSpendsTheDownloadAllowance) {
  tarn::test::ManualClock clock;
  std::vector<std::pair<uint8_t, uint64_t>> credited;
  CTARNNetTransferBudget budget([&](const _tagUnionHash& user, uint64_t bytes) {
    credited.emplace_back(user.bytes[0], bytes);
  });
  _tagStructClientConfig config;
  config.maxDownloadKiB = 10;
  budget.ApplyConfig(config);
  _tagUnionHash user;
  user.bytes.fill(7);
  clock.Advance(1000);
  EXPECT_EQ(budget.OnReceived(user, 2560), 0u);  // the quarter second the bucket holds
  EXPECT_EQ(budget.OnReceived(user, 10240), 1000u);
  EXPECT_EQ(credited, (std::vector<std::pair<uint8_t, uint64_t>>{{7, 2560}, {7, 10240}}));
  config.maxDownloadKiB = 0;
  budget.ApplyConfig(config);
  EXPECT_EQ(budget.OnReceived(user, 1u << 30), 0u);
}

}  // namespace
}  // namespace P2P
