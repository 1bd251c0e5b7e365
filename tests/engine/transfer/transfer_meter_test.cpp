#include <gtest/gtest.h>

#include "engine/net/TransferMeter.h"
#include "tests/support/ManualClock.h"

namespace {

TEST(TransferMeter, RateCoversTheWholeSecondsBeforeTheCurrentOne) {
  tarn::test::ManualClock clock(10000);
  P2P::CTransferMeter meter;
  meter.Add(4000);
  EXPECT_EQ(meter.Rate(), 0u);  // the current second does not count yet
  clock.Advance(1000);
  EXPECT_EQ(meter.Rate(), 1000u);
  meter.Add(8000);
  clock.Advance(1000);
  EXPECT_EQ(meter.Rate(), 3000u);
  EXPECT_EQ(meter.Total(), 12000u);
  // Seconds leave the window one by one; the total stays.
  clock.Advance(3000);
  EXPECT_EQ(meter.Rate(), 2000u);
  clock.Advance(1000);
  EXPECT_EQ(meter.Rate(), 0u);
  EXPECT_EQ(meter.Total(), 12000u);
}

TEST(TransferMeter, ALongPauseEmptiesTheWindow) {
  tarn::test::ManualClock clock(10000);
  P2P::CTransferMeter meter;
  meter.Add(1000);
  clock.Advance(3600 * 1000);
  meter.Add(400);
  clock.Advance(1000);
  EXPECT_EQ(meter.Rate(), 100u);
  EXPECT_EQ(meter.Total(), 1400u);
}

}  // namespace
