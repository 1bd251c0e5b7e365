#include <gtest/gtest.h>

#include <string>

#include "framework/Log.h"
#include "framework/LogText.h"
#include "tests/support/LogCapture.h"

namespace OSTREL {
namespace {

using namespace std::string_literals;

TEST(EscapeForLog, ControlCharactersAreSpelledOutAndTextIsKept) {
  EXPECT_EQ(EscapeForLog("plain text, ümlauts 名前"), "plain text, ümlauts 名前");
  EXPECT_EQ(EscapeForLog("a\r\nb"), "a\\r\\nb");
  EXPECT_EQ(EscapeForLog("nul\0bel\a tab\t"s), "nul\\x00bel\\x07 tab\\t");
  EXPECT_EQ(EscapeForLog("\x1b[2J\x1b]0;title\x07"), "\\x1b[2J\\x1b]0;title\\x07");
  EXPECT_EQ(EscapeForLog("del\x7f"), "del\\x7f");
  // A backslash is doubled, so an escape in the log always stands for a control character.
  EXPECT_EQ(EscapeForLog("C:\\x1b"), "C:\\\\x1b");
}

TEST(EscapeForLog, C1ControlsLineSeparatorsAndInvalidBytesAreEscaped) {
  EXPECT_EQ(EscapeForLog("csi\xc2\x9b"
                         "2J"),
            "csi\\u009b2J");
  EXPECT_EQ(EscapeForLog("line\xe2\x80\xa8sep"), "line\\u2028sep");
  // Bytes that are not UTF-8 (a lone 8-bit CSI, a cut sequence, an overlong NUL) stay bytes.
  EXPECT_EQ(EscapeForLog("\x9b"
                         "2J"),
            "\\x9b2J");
  EXPECT_EQ(EscapeForLog("cut\xe2\x80"), "cut\\xe2\\x80");
  EXPECT_EQ(EscapeForLog("\xc0\x80"), "\\xc0\\x80");
}

TEST(LogSink, TakesEveryLineWhileSetAndGivesThemBackAfter) {
  {
    tarn::test::LogCapture capture;
    LogInfo("one ", 1);
    LogDebug("two");
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "one 1");
    EXPECT_EQ(lines[1].level, LogLevel::kDebug);
  }
  // The default sink is back: nothing is left to capture the line, and setting an empty sink
  // hands back none.
  EXPECT_FALSE(CLog::SetSink({}));
}

}  // namespace
}  // namespace OSTREL
