#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "service/host/ServiceNotifier.h"
#include "tests/service/host/FakeNotifySocket.h"
#include "tests/support/Sandbox.h"

namespace {

using OSTREL::Process::CServiceNotifier;

using tarn::test::FakeNotifySocket;

class ServiceNotifierTest : public ::testing::Test {
 protected:
  void TearDown() override { ::unsetenv("NOTIFY_SOCKET"); }
  tarn::test::Sandbox sandbox_;
};

TEST_F(ServiceNotifierTest, ReportsNothingWithoutServiceManager) {
  ::unsetenv("NOTIFY_SOCKET");
  EXPECT_FALSE(CServiceNotifier::UnderServiceManager());
  EXPECT_FALSE(CServiceNotifier::ReportReady("Running"));
  EXPECT_FALSE(CServiceNotifier::ReportStopping("Stopping"));
}

TEST_F(ServiceNotifierTest, SendsReadyStatusAndStoppingDatagrams) {
  const auto path = sandbox_ / "notify";
  FakeNotifySocket socket(path);
  ASSERT_TRUE(socket.Bound());
  ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
  ASSERT_TRUE(CServiceNotifier::UnderServiceManager());

  EXPECT_TRUE(CServiceNotifier::ReportReady("Running"));
  EXPECT_EQ(socket.Receive(), "READY=1\nSTATUS=Running");
  // A line break must not smuggle in another assignment.
  EXPECT_TRUE(CServiceNotifier::ReportStatus("3 files\nREADY=1"));
  EXPECT_EQ(socket.Receive(), "STATUS=3 files READY=1");
  EXPECT_TRUE(CServiceNotifier::ReportStopping("Stopping"));
  EXPECT_EQ(socket.Receive(), "STOPPING=1\nSTATUS=Stopping");
}

}  // namespace
