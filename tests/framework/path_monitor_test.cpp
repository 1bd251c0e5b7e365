#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "framework/PathMonitor.h"
#include "tests/support/Sandbox.h"
#include "tests/support/WaitUntil.h"

namespace OSTREL::File {
namespace {

class CCountingMonitor : public CPathMonitor {
 public:
  ~CCountingMonitor() override { Stop(); }
  std::atomic<int> watching{0};
  std::atomic<int> changes{0};

 protected:
  void OnWatching() override { ++watching; }
  void ChangeAction() override { ++changes; }
};

TEST(PathMonitorTest, SeesChangesInFoldersCreatedAfterItStarted) {
  tarn::test::Sandbox sandbox;
  CCountingMonitor monitor;
  monitor.SetPath(sandbox.Root());
  ASSERT_TRUE(monitor.Start());
  ASSERT_TRUE(tarn::test::WaitUntil([&] { return monitor.watching == 1; }));

  std::filesystem::create_directories(sandbox / "new/deeper");
  ASSERT_TRUE(tarn::test::WaitUntil([&] { return monitor.changes >= 1; }));
  // Give the monitor its watch on the new folders before writing into them.
  ASSERT_TRUE(tarn::test::WaitUntil([&] {
    const int before = monitor.changes;
    sandbox.WriteFile("new/deeper/file", "x");
    return tarn::test::WaitUntil([&] { return monitor.changes > before; },
                                 std::chrono::milliseconds(200));
  }));
  EXPECT_TRUE(monitor.Stop());
  EXPECT_FALSE(monitor.IsRunning());
  EXPECT_TRUE(monitor.StopEvent().IsSignalled());
}

TEST(PathMonitorTest, EndsAtOnceWhenTheFolderCannotBeWatched) {
  tarn::test::Sandbox sandbox;
  CCountingMonitor monitor;
  monitor.SetPath(sandbox / "missing");
  ASSERT_TRUE(monitor.Start());
  ASSERT_TRUE(tarn::test::WaitUntil([&] { return !monitor.IsRunning(); }));
  EXPECT_EQ(monitor.watching, 0);
  EXPECT_EQ(monitor.GetExitCode(), 1u);
}

}  // namespace
}  // namespace OSTREL::File
