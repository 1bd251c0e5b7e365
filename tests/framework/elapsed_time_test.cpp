#include "framework/ElapsedTime.h"

#include <gtest/gtest.h>

#include "framework/Event.h"
#include "tests/support/ManualClock.h"

namespace OSTREL::Process {
namespace {

TEST(ElapsedTimeTest, MeasuresAcrossTheTickWrap) {
  tarn::test::ManualClock clock(0xFFFFFF00u);
  CElapsedTimeT<1000> timer;
  clock.Advance(0x80);
  EXPECT_FALSE(timer.IsElapsed());
  clock.Advance(999 - 0x80);  // the counter has wrapped: 999 ms after start
  EXPECT_EQ(GetTickCount(), 999u - 0x100);
  EXPECT_FALSE(timer.IsElapsed());
  clock.Advance(1);
  EXPECT_TRUE(timer.IsElapsed());
}

TEST(ElapsedTimeTest, NeverElapsesWithDurationMinusOne) {
  tarn::test::ManualClock clock;
  CElapsedTimeT<0xFFFFFFFFu> timer;
  clock.Advance(0x7FFFFFFF);
  EXPECT_FALSE(timer.IsElapsed());
  timer.SetDuration(0);
  EXPECT_TRUE(timer.IsElapsed());
}

TEST(EventTest, TimedWaitEndsWhenTheManualClockPasses) {
  tarn::test::ManualClock clock;
  CEvent event;
  std::thread advancer([&] { clock.AdvanceSoon(300000); });
  EXPECT_EQ(WaitForEvents({&event}, 300000), kWaitTimeout);
  advancer.join();
}

TEST(EventTest, AutoResetIsConsumedOnceManualStaysSignalled) {
  CEvent autoEvent(CEvent::Reset::kAuto, true);
  CEvent manualEvent(CEvent::Reset::kManual, true);
  EXPECT_EQ(WaitForEvents({&autoEvent, &manualEvent}, 0), 0);
  EXPECT_EQ(WaitForEvents({&autoEvent, &manualEvent}, 0), 1);
  EXPECT_EQ(WaitForEvents({&autoEvent, &manualEvent}, 0), 1);
  manualEvent.ResetEvent();
  EXPECT_EQ(WaitForEvents({&autoEvent, &manualEvent}, 0), kWaitTimeout);
}

}  // namespace
}  // namespace OSTREL::Process
