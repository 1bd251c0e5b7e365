#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <thread>
#include <vector>

#include "framework/MessageLoop.h"
#include "tests/support/ManualClock.h"
#include "tests/support/WaitUntil.h"

namespace OSTREL::Process {
namespace {

TEST(MessageLoopTest, TimersFollowTheManualClock) {
  tarn::test::ManualClock clock;
  CMessageLoop loop;
  std::vector<uint32_t> fired;
  std::atomic<size_t> firedCount{0};
  const auto record = [&](uint32_t id) {
    fired.push_back(id);
    ++firedCount;
  };
  const uint32_t second = loop.SetTimer(0, 1000, record);
  const uint32_t minute = loop.SetTimer(0, 60000, record);
  ASSERT_NE(second, minute);
  std::thread driver([&] {
    clock.AdvanceSoon(999);  // not due yet
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const size_t early = firedCount;
    clock.Advance(1);
    tarn::test::WaitUntil([&] { return firedCount == early + 1; });
    clock.Advance(30 * 60 * 1000);  // a late loop fires each timer once
    tarn::test::WaitUntil([&] { return firedCount == early + 3; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.PostQuit(7);
  });
  EXPECT_EQ(loop.Run(), 7);
  driver.join();
  EXPECT_EQ(fired, (std::vector<uint32_t>{second, second, minute}));
}

TEST(MessageLoopTest, TimerCanKillItselfAndBeReArmed) {
  tarn::test::ManualClock clock;
  CMessageLoop loop;
  int oneShot = 0;
  int rearmed = 0;
  loop.SetTimer(5, 100, [&](uint32_t id) {
    ++oneShot;
    loop.KillTimer(id);
  });
  loop.SetTimer(6, 100, [&](uint32_t) { ++rearmed; });
  loop.SetTimer(6, 500, [&](uint32_t) { ++rearmed; });  // same id: replaced
  std::thread driver([&] {
    for (int i = 0; i < 5; ++i) clock.AdvanceSoon(100);
    clock.AdvanceSoon(0);
    loop.PostQuit();
  });
  loop.Run();
  driver.join();
  EXPECT_EQ(oneShot, 1);
  EXPECT_EQ(rearmed, 1);
  EXPECT_FALSE(loop.KillTimer(5));
}

TEST(MessageLoopTest, RunsTasksPostedFromOtherThreadsInOrder) {
  CMessageLoop loop;
  std::vector<int> order;
  std::atomic<int> ran{0};
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i)
      loop.PostTask([&, i] {
        order.push_back(i);
        ++ran;
      });
    loop.PostTask([&] { loop.PostQuit(); });
  });
  EXPECT_EQ(loop.Run(), 0);
  poster.join();
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(MessageLoopTest, RealClockTimerFiresPeriodically) {
  CMessageLoop loop;
  int fired = 0;
  loop.SetTimer(1, 20, [&](uint32_t) {
    if (++fired == 3) loop.PostQuit();
  });
  const uint32_t start = CTickSource::Now();
  loop.Run();
  EXPECT_GE(CTickSource::Now() - start, 55u);
  EXPECT_EQ(fired, 3);
}

TEST(MessageLoopTest, TerminationSignalEndsTheLoop) {
  sigset_t previous;
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &previous), 0);
  {
    CMessageLoop loop;
    ASSERT_TRUE(loop.QuitOnTerminationSignals());
    loop.PostTask([] { ::raise(SIGTERM); });
    EXPECT_EQ(loop.Run(), 0);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

TEST(MessageLoopTest, CurrentIsTheLoopOfThisThread) {
  CMessageLoop loop;
  EXPECT_EQ(CMessageLoop::Current(), &loop);
  CMessageLoop* other = &loop;
  std::thread([&] { other = CMessageLoop::Current(); }).join();
  EXPECT_EQ(other, nullptr);
}

}  // namespace
}  // namespace OSTREL::Process
