#include "engine/protocol/Tag.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/protocol/Limits.h"

namespace P2P::Protocol {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Write(const _tagStructTag& tag, bool compact) {
  Bytes bytes;
  CStreamWriter writer(bytes);
  EXPECT_TRUE(tag.WriteTag(writer, compact));
  return bytes;
}

_tagStructTag Integer(uint32_t value) {
  _tagStructTag tag;
  tag.SetInteger(kTagSize, value);
  return tag;
}

TEST(TagTest, IntegersTakeTheNarrowestTypeAndWidenInTheClassicForm) {
  struct Case {
    uint32_t value;
    Bytes compact, classic;
  };
  const std::vector<Case> cases = {
      {0, {0x89, 0x02, 0}, {0x03, 1, 0, 0x02, 0, 0, 0, 0}},
      {255, {0x89, 0x02, 0xFF}, {0x03, 1, 0, 0x02, 0xFF, 0, 0, 0}},
      {256, {0x88, 0x02, 0x00, 0x01}, {0x03, 1, 0, 0x02, 0x00, 0x01, 0, 0}},
      {65535, {0x88, 0x02, 0xFF, 0xFF}, {0x03, 1, 0, 0x02, 0xFF, 0xFF, 0, 0}},
      {65536, {0x83, 0x02, 0, 0, 1, 0}, {0x03, 1, 0, 0x02, 0, 0, 1, 0}},
      {0xFFFFFFFF, {0x83, 0x02, 0xFF, 0xFF, 0xFF, 0xFF}, {0x03, 1, 0, 0x02, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Write(Integer(c.value), true), c.compact) << c.value;
    EXPECT_EQ(Write(Integer(c.value), false), c.classic) << c.value;
    for (const Bytes* encoded : {&c.compact, &c.classic}) {
      CStreamReader reader(*encoded);
      _tagStructTag read;
      ASSERT_TRUE(read.ReadTag(reader)) << c.value;
      EXPECT_TRUE(read.IsNamed(uint8_t{kTagSize}));
      EXPECT_EQ(read.Integer(), c.value);
      EXPECT_TRUE(reader.AtEnd());
    }
  }
}

TEST(TagTest, NamedTagsKeepTheirNameInBothForms) {
  _tagStructTag tag;
  tag.SetInteger("bitrate", 128);
  const Bytes named{0x09, 7, 0, 'b', 'i', 't', 'r', 'a', 't', 'e', 128};
  EXPECT_EQ(Write(tag, true), named);
  tag.SetString("Artist", "x");
  EXPECT_EQ(Write(tag, false), (Bytes{0x02, 6, 0, 'A', 'r', 't', 'i', 's', 't', 1, 0, 'x'}));
  CStreamReader reader(named);
  _tagStructTag read;
  ASSERT_TRUE(read.ReadTag(reader));
  EXPECT_TRUE(read.IsNamed("bitrate"));
  EXPECT_EQ(read.type, kTagUInt8);
}

TEST(TagTest, ReadsEveryValueType) {
  struct Case {
    const char* name;
    Bytes encoded;
    _tagStructTag::Value expected;
  };
  _tagUnionHash hash;
  for (size_t i = 0; i < hash.bytes.size(); ++i) hash.bytes[i] = static_cast<uint8_t>(i);
  Bytes hashTag(18);
  hashTag[0] = 0x81;
  hashTag[1] = 0x01;
  std::copy(hash.bytes.begin(), hash.bytes.end(), hashTag.begin() + 2);
  const std::vector<Case> cases = {
      {"compact string by id", {0x82, 0x01, 3, 0, 'a', 'b', 'c'}, std::string("abc")},
      {"classic string", {0x02, 1, 0, 0x01, 2, 0, 'h', 'i'}, std::string("hi")},
      {"short string", {0x93, 0x01, 'x', 'y', 'z'}, std::string("xyz")},
      {"22-byte short string", [] {
         Bytes b(24, 'q');
         b[0] = 0xA6;
         b[1] = 0x01;
         return b;
       }(), std::string(22, 'q')},
      {"Windows-1252 text", {0x82, 0x01, 2, 0, 0xE9, 0x80}, std::string("\xC3\xA9\xE2\x82\xAC")},
      {"boolean", {0x85, 0x10, 1}, uint32_t{1}},
      {"float", {0x84, 0x10, 0x00, 0x00, 0x80, 0x3F}, 1.0f},
      {"hash", hashTag, hash},
      {"blob", {0x87, 0x10, 2, 0, 0, 0, 7, 8}, Bytes{7, 8}},
      {"short blob", {0x8A, 0x10, 1, 9}, Bytes{9}},
  };
  for (const Case& c : cases) {
    CStreamReader reader(c.encoded);
    _tagStructTag tag;
    ASSERT_TRUE(tag.ReadTag(reader)) << c.name;
    EXPECT_TRUE(reader.AtEnd()) << c.name;
    EXPECT_EQ(tag.value, c.expected) << c.name;
    // Truncated anywhere, the tag fails and the stream does not move.
    for (size_t size = 0; size < c.encoded.size(); ++size) {
      CStreamReader cut(std::span(c.encoded).first(size));
      _tagStructTag partial;
      EXPECT_FALSE(partial.ReadTag(cut)) << c.name << " cut at " << size;
      EXPECT_EQ(cut.Position(), 0u);
    }
  }
}

TEST(TagTest, RefusesUnknownTypesAndOversizeBlobs) {
  const std::vector<Bytes> refused = {
      {0x86, 0x01, 0, 0},                 // boolean array
      {0x8B, 0x01, 0},                    // no such type
      {0xA7, 0x01, 'a'},                  // past the short strings
      {0x00, 1, 0, 0x01},                 // type 0
      {0x87, 0x01, 0xFF, 0xFF, 0xFF, 0xFF},  // blob length far past the data
  };
  for (const Bytes& encoded : refused) {
    CStreamReader reader(encoded);
    _tagStructTag tag;
    EXPECT_FALSE(tag.ReadTag(reader)) << int{encoded[0]};
    EXPECT_EQ(reader.Position(), 0u);
  }
  Bytes big{0x87, 0x01};
  const uint32_t length = kMaxTagBlobLength + 1;
  for (int i = 0; i < 4; ++i) big.push_back(static_cast<uint8_t>(length >> (8 * i)));
  big.resize(big.size() + length);
  CStreamReader reader(big);
  _tagStructTag tag;
  EXPECT_FALSE(tag.ReadTag(reader));
}

TEST(TagTest, FailedWriteLeavesNothingBehind) {
  Bytes bytes{0xAB};
  CStreamWriter writer(bytes, 6);
  _tagStructTag tag;
  tag.SetString(kTagName, "too long for the room");
  EXPECT_FALSE(tag.WriteTag(writer, true));
  EXPECT_EQ(bytes, Bytes{0xAB});
}

TEST(TagTest, TagListsAreBoundedAndAllOrNothing) {
  Bytes two;
  CStreamWriter writer(two);
  _tagStructTag name, size;
  name.SetString(kTagName, "file");
  size.SetInteger(kTagSize, 70000);
  ASSERT_TRUE(name.WriteTag(writer, false) && size.WriteTag(writer, false));
  std::vector<_tagStructTag> tags;
  CStreamReader reader(two);
  ASSERT_TRUE(ReadTags(reader, 2, tags));
  EXPECT_EQ(tags[0].Text(), "file");
  EXPECT_EQ(tags[1].Integer(), 70000u);

  CStreamReader again(two);
  EXPECT_FALSE(ReadTags(again, 3, tags));
  EXPECT_EQ(again.Position(), 0u);
  EXPECT_TRUE(tags.empty());
  EXPECT_FALSE(ReadTags(again, kMaxTagsPerList + 1, tags));
}

}  // namespace
}  // namespace P2P::Protocol
