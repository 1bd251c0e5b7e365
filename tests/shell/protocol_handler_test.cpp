// The link handler's failures, without a daemon: each is said once, on standard error and in
// one notification, with the status tarn gives it. (The handler against a daemon is tested on
// the bus.)
#include <gtest/gtest.h>

#include <sstream>

#include "shell/ProtocolHandler.h"
#include "tests/shell/RecordingNotifier.h"

namespace tarn::shell {
namespace {

using test::CRecordingNotifier;

TEST(ProtocolHandlerTest, AMalformedLinkIsNamedOnceAndExitsTwo) {
  CRecordingNotifier notifier;
  std::ostringstream err;
  CProtocolHandler handler(nullptr, &notifier, err);
  EXPECT_EQ(handler.Handle("ed2k://|file|a.bin|100|0123456789ABCDEF0123456789ABCDE|/"),
            kExitBadInput);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].summary, "TARN cannot read this link");
  EXPECT_EQ(notifier.shown[0].body, "hash: 31 hexadecimal digits, 32 expected");
  EXPECT_EQ(err.str(),
            "tarnshell: TARN cannot read this link: hash: 31 hexadecimal digits, 32 "
            "expected\n");
}

TEST(ProtocolHandlerTest, NoBusMeansTheDaemonIsUnreachable) {
  CRecordingNotifier notifier;
  std::ostringstream err;
  CProtocolHandler handler(nullptr, &notifier, err);
  EXPECT_EQ(handler.Handle("tarn://|a.bin|0123456789ABCDEF0123456789ABCDEF|100|"),
            kExitUnreachable);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].summary, "TARN is not running");
  EXPECT_NE(notifier.shown[0].body.find("no bus to reach it on"), std::string::npos);
}

}  // namespace
}  // namespace tarn::shell
