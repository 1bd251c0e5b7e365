#include <gtest/gtest.h>

#include "engine/transfer/TransferMeter.h"
#include "tests/support/ManualClock.h"

namespace {

TEST(TransferMeter, RateCoversTheWholeSecondsBeforeTheCurrentOne) {
  tarn::test::ManualClock clock(10000);
  P2P::CTransferMeter meter;
  meter.Add(4000);
  EXPECT_EQ(meter.Rate(), 0u);  // the current second does not count yet
  clock.Advance(1000);
  EXPECT_EQ(meter.Rate(), 4000u) << "over the one second since the first byte";
  meter.Add(8000);
  clock.Advance(1000);
  EXPECT_EQ(meter.Rate(), 6000u);
  EXPECT_EQ(meter.Total(), 12000u);
  // Seconds leave the window one by one; the total stays.
  clock.Advance(8000);
  EXPECT_EQ(meter.Rate(), 1200u);
  clock.Advance(1000);
  EXPECT_EQ(meter.Rate(), 800u);
  clock.Advance(1000);
  EXPECT_EQ(meter.Rate(), 0u);
  EXPECT_EQ(meter.Total(), 12000u);
}

// A steady 99 KiB/s that arrives as one 180 KiB block every 1.8 s reads as about 99 KiB/s
// every second, not as 180 KiB/s and nothing by turns.
TEST(TransferMeter, BlocksOfASteadyTransferReadAsASteadyRate) {
  tarn::test::ManualClock clock(10000);
  P2P::CTransferMeter meter;
  constexpr uint64_t kBlock = 184320;
  uint32_t nextBlock = 0;
  for (uint32_t ms = 0; ms <= 60000; ms += 100) {
    if (ms >= nextBlock) {
      meter.Add(kBlock);
      nextBlock += 1800;
    }
    if (ms >= 12000 && ms % 1000 == 0) {
      EXPECT_GE(meter.Rate(), 90u * 1024) << ms;
      EXPECT_LE(meter.Rate(), 110u * 1024) << ms;
    }
    clock.Advance(100);
  }
}

TEST(TransferMeter, ALongPauseEmptiesTheWindow) {
  tarn::test::ManualClock clock(10000);
  P2P::CTransferMeter meter;
  meter.Add(1000);
  clock.Advance(3600 * 1000);
  meter.Add(400);
  clock.Advance(1000);
  EXPECT_EQ(meter.Rate(), 40u);
  EXPECT_EQ(meter.Total(), 1400u);
}

}  // namespace
