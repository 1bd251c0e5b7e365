// The one strict UTF-8 reader: every boundary of the well-formed ranges, and the forms that
// are refused (overlong, surrogate, above U+10FFFF, cut short, stray continuation bytes).
#include "framework/Utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace OSTREL {
namespace {

TEST(Utf8Test, ReadsTheWellFormedRangesAndRefusesEverythingElse) {
  struct Case {
    const char* what;
    std::string bytes;
    uint32_t codePoint;
    size_t length;
  };
  const Case cases[] = {
      {"ASCII", "A", 0x41, 1},
      {"NUL", std::string(1, '\0'), 0, 1},
      {"smallest two-byte", "\xc2\x80", 0x80, 2},
      {"largest two-byte", "\xdf\xbf", 0x7FF, 2},
      {"smallest three-byte", "\xe0\xa0\x80", 0x800, 3},
      {"last before the surrogates", "\xed\x9f\xbf", 0xD7FF, 3},
      {"first after the surrogates", "\xee\x80\x80", 0xE000, 3},
      {"smallest four-byte", "\xf0\x90\x80\x80", 0x10000, 4},
      {"largest code point", "\xf4\x8f\xbf\xbf", 0x10FFFF, 4},
      {"overlong NUL", "\xc0\x80", 0, 0},
      {"overlong two-byte lead", "\xc1\xbf", 0, 0},
      {"overlong three-byte", "\xe0\x9f\xbf", 0, 0},
      {"overlong four-byte", "\xf0\x8f\xbf\xbf", 0, 0},
      {"high surrogate", "\xed\xa0\x80", 0, 0},
      {"low surrogate", "\xed\xbf\xbf", 0, 0},
      {"above U+10FFFF", "\xf4\x90\x80\x80", 0, 0},
      {"lead beyond F4", "\xf5\x80\x80\x80", 0, 0},
      {"stray continuation", "\x80", 0, 0},
      {"cut short", "\xe2\x82", 0, 0},
      {"continuation missing", "\xe2\x41\x41", 0, 0},
  };
  for (const Case& c : cases) {
    const SUtf8Char read = DecodeUtf8(c.bytes, 0);
    EXPECT_EQ(read.length, c.length) << c.what;
    if (c.length != 0) {
      EXPECT_EQ(read.codePoint, c.codePoint) << c.what;
    }
  }
  // Read from the middle of a text, a sequence may not run past its end.
  EXPECT_EQ(DecodeUtf8("ab\xe2\x82\xac", 2).length, 3u);
  EXPECT_EQ(DecodeUtf8("ab\xe2\x82\xac", 3).length, 0u);
}

}  // namespace
}  // namespace OSTREL
