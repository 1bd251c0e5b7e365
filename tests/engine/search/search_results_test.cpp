#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "engine/library/FileCategory.h"
#include "engine/protocol/Limits.h"
#include "engine/search/SearchResultFileList.h"
#include "engine/search/SearchWordFilter.h"
#include "tests/engine/search/SearchEventRecorder.h"

namespace P2P::Shared::File::SearchResultFile {
namespace {

_tagStructSharedFile Answer(uint8_t hashByte, std::string name, uint32_t sources = 1,
                            std::string type = "") {
  _tagStructSharedFile record;
  record.hash.bytes.fill(hashByte);
  record.info.name = std::move(name);
  record.info.sourceCount = sources;
  record.info.type = std::move(type);
  return record;
}

TEST(SearchWordFilter, NamesPassOnAnyWordAsTyped) {
  struct Case {
    const char* text;
    const char* name;
    bool passes;
  };
  const Case cases[] = {
      {"abc", "xabcx.mp3", true},
      {"abc", "ABC.mp3", false},  // case-sensitive
      {"abc def", "def.txt", true},
      {"abc def", "other.txt", false},
      {"abc  def", "other.txt", true},  // an empty word passes every name
      {"abc ", "other.txt", true},
      {"\"live set\"", "the live mix", true},  // quotes are syntax, not name
      {"(abc OR xyz) mp3", "xyz.ogg", true},
      {"(abc OR xyz)", "none.ogg", false},
      {"ed2k::0123456789ABCDEF0123456789ABCDEF", "anything.bin", true},
      {"\"\"", "anything", true},  // nothing but syntax: nothing to check
  };
  for (const Case& c : cases)
    EXPECT_EQ(Search::CSearchWordFilter(c.text).Matches(c.name), c.passes)
        << c.text << " / " << c.name;
  EXPECT_FALSE(Search::CSearchWordFilter().Matches("before any search"));
}

TEST(SearchResultCategory, TypeOrExtensionNamesTheCategory) {
  _tagStructSharedFileInfo info;
  info.name = "song.ogg";
  EXPECT_TRUE(CTARNNetSearchResultFileList::MatchesCategory(info, kCategoryAudio));
  EXPECT_FALSE(CTARNNetSearchResultFileList::MatchesCategory(info, kCategoryVideo));
  info.name = "film.avi";
  EXPECT_FALSE(CTARNNetSearchResultFileList::MatchesCategory(info, kCategoryAudio));
  info.type = "audio";  // the server's type word wins over the extension
  EXPECT_TRUE(CTARNNetSearchResultFileList::MatchesCategory(info, kCategoryAudio));
  info.type.clear();
  EXPECT_TRUE(CTARNNetSearchResultFileList::MatchesCategory(info, kCategoryNone));
}

class SearchResultListTest : public ::testing::Test {
 protected:
  SearchResultListTest() { list_.SetEventSink(&events_); }

  CTARNNetSearchResultFileList list_;
  P2P::test::CSearchEventRecorder events_;
};

TEST_F(SearchResultListTest, FiltersOnlyNewAnswers) {
  list_.BeginSearch("abc", kCategoryAudio);
  EXPECT_TRUE(list_.AddFromRecord(Answer(1, "xabcx.mp3")));
  EXPECT_FALSE(list_.AddFromRecord(Answer(2, "ABC.mp3")));
  EXPECT_FALSE(list_.AddFromRecord(Answer(3, "abc.avi")));
  // A listed hash merges whatever its name, as servers name files differently.
  EXPECT_TRUE(list_.AddFromRecord(Answer(1, "unrelated.avi")));
  EXPECT_EQ(list_.Count(), 1u);
  EXPECT_EQ(events_.Added().size(), 1u);
  EXPECT_EQ(events_.Changed().size(), 1u);
}

TEST_F(SearchResultListTest, MergesAnswersForOneHash) {
  list_.BeginSearch("song", kCategoryNone);
  _tagStructSharedFile first = Answer(7, "song.mp3", 3);
  first.info.secondCount = 1;
  first.info.mediaArtist = "first artist";
  _tagStructSharedFile second = Answer(7, "Song.MP3", 4, "Audio");
  second.info.secondCount = 2;
  second.info.mediaArtist = "second artist";
  second.info.mediaBitrate = 192;

  ASSERT_TRUE(list_.AddFromRecord(first));
  ASSERT_TRUE(list_.AddFromRecord(second));

  ASSERT_EQ(list_.Count(), 1u);
  const _tagStructSharedFile merged = list_.At(1)->GetRecord();
  EXPECT_EQ(merged.info.sourceCount, 7u);
  EXPECT_EQ(merged.info.secondCount, 3u);
  EXPECT_EQ(merged.info.otherName, "");                // same name without regard to case
  EXPECT_EQ(merged.info.type, "Audio");                // filled where empty
  EXPECT_EQ(merged.info.mediaArtist, "first artist");  // kept where set
  EXPECT_EQ(merged.info.mediaBitrate, 192u);
  ASSERT_EQ(events_.Changed().size(), 1u);
  EXPECT_EQ(events_.Changed()[0].info.sourceCount, 7u);

  ASSERT_TRUE(list_.AddFromRecord(Answer(7, "song (live).mp3", 0)));
  EXPECT_EQ(list_.At(1)->GetOtherName(), "song (live).mp3");
  ASSERT_TRUE(list_.AddFromRecord(Answer(7, "", 0)));  // no name: the other name stays
  EXPECT_EQ(list_.At(1)->GetOtherName(), "song (live).mp3");
}

TEST_F(SearchResultListTest, SourceSumsStopAtTheTop) {
  list_.BeginSearch("a", kCategoryNone);
  const uint32_t top = std::numeric_limits<uint32_t>::max();
  ASSERT_TRUE(list_.AddFromRecord(Answer(1, "a", top - 1)));
  ASSERT_TRUE(list_.AddFromRecord(Answer(1, "a", 5)));
  EXPECT_EQ(list_.At(1)->GetSourceCount(), top);
}

TEST_F(SearchResultListTest, IdsCountAcrossSearchesAndResetClears) {
  list_.BeginSearch("a", kCategoryNone);
  const uint32_t firstId = list_.AddFromRecord(Answer(1, "a1"))->GetId();
  EXPECT_EQ(list_.AddFromRecord(Answer(2, "a2"))->GetId(), firstId + 1);
  EXPECT_EQ(list_.FindById(firstId + 1)->GetName(), "a2");

  list_.BeginSearch("b", kCategoryVideo);
  EXPECT_EQ(list_.Count(), 0u);
  EXPECT_EQ(list_.GetCategory(), kCategoryVideo);
  EXPECT_EQ(list_.GetWords(), std::vector<std::string>{"b"});
  EXPECT_FALSE(list_.AddFromRecord(Answer(1, "a1")));  // a late answer for the old search
  EXPECT_EQ(list_.AddFromRecord(Answer(3, "b.avi"))->GetId(), firstId + 2);
}

TEST_F(SearchResultListTest, NewResultsStopAtTheCap) {
  list_.BeginSearch("f", kCategoryNone);
  auto numbered = [](size_t i) {
    _tagStructSharedFile record = Answer(0, "f");
    record.hash.bytes[0] = static_cast<uint8_t>(i);
    record.hash.bytes[1] = static_cast<uint8_t>(i >> 8);
    return record;
  };
  for (size_t i = 0; i < Protocol::kMaxSearchResults; ++i)
    ASSERT_TRUE(list_.AddFromRecord(numbered(i)));
  EXPECT_FALSE(list_.AddFromRecord(numbered(Protocol::kMaxSearchResults)));
  EXPECT_TRUE(list_.AddFromRecord(numbered(0)));  // listed hashes still merge
  EXPECT_EQ(list_.At(1)->GetSourceCount(), 2u);
}

TEST(SearchResultListBytes, NewResultsStopAtTheByteCapAndMergesAndResetsKeepTheCount) {
  CTARNNetSearchResultFileList list(1000);
  list.BeginSearch("f", kCategoryNone);
  const std::string name300 = "f" + std::string(299, 'x');
  for (uint8_t i = 1; i <= 3; ++i) ASSERT_TRUE(list.AddFromRecord(Answer(i, name300)));
  EXPECT_EQ(list.HeldBytes(), 900u);
  EXPECT_FALSE(list.AddFromRecord(Answer(4, name300)));
  EXPECT_TRUE(list.AddFromRecord(Answer(5, "f" + std::string(99, 'y'))));  // the last 100
  // A merge still lands and its other name counts; the next new result finds no room.
  EXPECT_TRUE(list.AddFromRecord(Answer(1, "f-other")));
  EXPECT_EQ(list.HeldBytes(), 1007u);
  EXPECT_FALSE(list.AddFromRecord(Answer(6, "f")));
  EXPECT_TRUE(list.Remove(list.At(1).Get()));  // the merged one: 300 + 7 bytes
  EXPECT_EQ(list.HeldBytes(), 700u);
  list.BeginSearch("f", kCategoryNone);
  EXPECT_EQ(list.HeldBytes(), 0u);
  EXPECT_TRUE(list.AddFromRecord(Answer(4, name300)));
}

TEST(SearchResultListBytes, LongNamesStopFarBelowTheCountCap) {
  CTARNNetSearchResultFileList list;
  list.BeginSearch("f", kCategoryNone);
  const std::string longName = "f" + std::string(65000 - 1, 'x');
  size_t added = 0;
  for (size_t i = 0; i < Protocol::kMaxSearchResults; ++i) {
    _tagStructSharedFile record = Answer(0, longName);
    record.hash.bytes[0] = static_cast<uint8_t>(i);
    record.hash.bytes[1] = static_cast<uint8_t>(i >> 8);
    if (!list.AddFromRecord(record)) break;
    ++added;
  }
  EXPECT_EQ(added, Protocol::kMaxSearchResultBytes / 65000);
  EXPECT_LE(list.HeldBytes(), Protocol::kMaxSearchResultBytes);
}

}  // namespace
}  // namespace P2P::Shared::File::SearchResultFile
