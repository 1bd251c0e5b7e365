#include "engine/protocol/TextCodec.h"

#include <gtest/gtest.h>

namespace P2P::Protocol {
namespace {

TEST(TextCodecTest, OnlyStrictUtf8IsKept) {
  struct Case {
    std::string input, decoded;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},                    // Latin-1 range
      {"\x80\x9F", "\xE2\x82\xAC\xC5\xB8"},                  // euro sign, Y diaeresis
      {"\x81", "\xC2\x81"},                                  // undefined byte: C1 control
      {"\xC0\x80", "\xC3\x80\xE2\x82\xAC"},                  // overlong NUL
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},      // surrogate
      {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"},  // above U+10FFFF
      {"ab\xC3", "ab\xC3\x83"},                              // cut sequence
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeNarrowText(c.input), c.decoded) << c.input;
}

}  // namespace
}  // namespace P2P::Protocol
