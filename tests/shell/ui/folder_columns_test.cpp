#include <gtest/gtest.h>

#include <algorithm>

#include "shell/ShellStrings.h"
#include "shell/ui/FolderColumns.h"

namespace tarn::shell::ui {
namespace {

std::string Titles(EFolder folder) {
  std::string titles;
  for (const SColumn& c : Columns(folder)) {
    titles += std::string(ShellString(c.titleId)) + "/" + std::to_string(c.width) +
              (c.align == EAlign::kRight ? "R" : "L") + " ";
  }
  return titles;
}

TEST(Columns, EachFolderHasItsTitlesWidthsAndAlignment) {
  EXPECT_EQ(Titles(EFolder::kRoot), "Name/30L Comments/30L Description/30L ");
  EXPECT_EQ(Titles(EFolder::kIncoming),
            "Name/30L Type/10L Size/10R Completed/10R Progress/10R Speed/10R Nodes/10R "
            "Date Modified/30L Date Creation/30L ");
  EXPECT_EQ(Titles(EFolder::kShared),
            "Name/30L Type/30L Size/30R Date Modified/30L Date Creation/30L ");
  EXPECT_EQ(Titles(EFolder::kSearchResults),
            "Name/30L Size/20R Type/20L Availablity/20R Complete/20R Duration/20R "
            "Bitrate/20R Codec/20R Album/20R Artist/20R Title/20R ");
}

TEST(CellTexts, DownloadRowFormatsSizesProgressSpeedAndNodes) {
  SDownloadRecord d{.key = 7,
                    .name = "film.avi",
                    .size = 23000000,
                    .typeName = "Video",
                    .lastWriteTime = "12/9/2026 5:26 PM",
                    .creationTime = "12/8/2026 1:00 AM",
                    .nodes = 4,
                    .completeNodes = 1,
                    .completedSize = 9728000,
                    .speed = 150000};
  const std::vector<std::string> expected = {
      "film.avi",         "Video",  "21.93 MB", "10 MB",
      "42.29 %",          "147 KB", "4(1)",     "12/9/2026 5:26 PM",
      "12/8/2026 1:00 AM"};
  EXPECT_EQ(CellTexts(d), expected);
  ASSERT_EQ(CellTexts(d).size(), Columns(EFolder::kIncoming).size());
}

// Above 4 GiB the cells show the whole sizes the 64-bit records carry, not their low 32 bits.
TEST(CellTexts, SizesAbove32BitsShowWhole) {
  const uint64_t fiveGiB = uint64_t{5} << 30;
  SDownloadRecord d{.key = 8, .name = "disc.iso", .size = fiveGiB, .completedSize = 1ull << 32};
  const auto cells = CellTexts(d);
  EXPECT_EQ(cells[2], "5.00 GB");
  EXPECT_EQ(cells[3], "4 GB");
  EXPECT_EQ(cells[4], "80.00 %");
  EXPECT_EQ(CellTexts(SSharedFileRecord{.key = 9, .name = "disc.iso", .size = fiveGiB})[2], "5 GB");
}

TEST(CellTexts, ResultRowLeavesCompleteAndBitrateEmptyWhenUnknown) {
  SSearchResultRecord r{.key = 1, .name = "a.mp3", .size = 1023, .nodes = 0, .typeName = "Audio"};
  auto cells = CellTexts(r);
  ASSERT_EQ(cells.size(), Columns(EFolder::kSearchResults).size());
  EXPECT_EQ(cells[1], "1 KB");
  EXPECT_EQ(cells[3], "0");
  EXPECT_EQ(cells[4], "");
  EXPECT_EQ(cells[6], "");
  r.nodes = 1234;
  r.completeNodes = 617;
  r.bitrate = 128;
  cells = CellTexts(r);
  EXPECT_EQ(cells[3], "1,234");
  EXPECT_EQ(cells[4], "50 %");
  EXPECT_EQ(cells[6], "128 KBits/Sec");
  SSharedFileRecord s{.key = 2, .name = "b.txt", .size = 0, .typeName = "Text"};
  EXPECT_EQ(CellTexts(s)[2], "0 KB");
}

TEST(Compare, NameColumnTreatsTheSameKeyAsEqualAndBreaksTiesByHash) {
  SDownloadRecord a{.key = 1, .hash = "00000000000000000000000000000002", .name = "Song"};
  SDownloadRecord renamed = a;
  renamed.name = "Zebra";
  EXPECT_EQ(Compare(a, renamed, 0), 0);
  SDownloadRecord b{.key = 2, .hash = "00000000000000000000000000000001", .name = "song"};
  EXPECT_GT(Compare(a, b, 0), 0);  // same name but for case: the smaller hash first
  SDownloadRecord noHash{.key = 3, .name = "SONG"};
  EXPECT_LT(Compare(noHash, b, 0), 0);                     // an empty hash counts as zeros
  SDownloadRecord other{.key = 4, .name = "\xC3\x89lan"};  // "Élan" sorts with "élan"
  SDownloadRecord lower{
      .key = 5, .hash = "FF000000000000000000000000000000", .name = "\xC3\xA9lan"};
  EXPECT_LT(Compare(other, lower, 0), 0);
  EXPECT_LT(Compare(SDownloadRecord{.key = 8, .name = "apple"}, a, 0), 0);
}

TEST(Compare, ProgressPutsMoreBytesStillToComeFirst) {
  SDownloadRecord nearlyDone{.key = 1, .size = 1000, .completedSize = 990};
  SDownloadRecord halfway{.key = 2, .size = 10000, .completedSize = 5000};
  SDownloadRecord notStarted{.key = 3, .size = 10, .completedSize = 0};
  EXPECT_LT(Compare(halfway, nearlyDone, 4), 0);
  EXPECT_GT(Compare(nearlyDone, halfway, 4), 0);
  // Without completed bytes on both sides, by completed bytes.
  EXPECT_LT(Compare(notStarted, nearlyDone, 4), 0);
  EXPECT_LT(Compare(notStarted, halfway, 4), 0);
}

TEST(Compare, ResultAvailabilityAndCompleteUseEachOtherAsSecondKey) {
  SSearchResultRecord none{.key = 1, .nodes = 0, .completeNodes = 0};
  SSearchResultRecord tenHalf{.key = 2, .nodes = 10, .completeNodes = 5};
  SSearchResultRecord tenFull{.key = 3, .nodes = 10, .completeNodes = 10};
  SSearchResultRecord twoFull{.key = 4, .nodes = 2, .completeNodes = 2};
  EXPECT_LT(Compare(none, tenHalf, 3), 0);
  EXPECT_LT(Compare(tenHalf, tenFull, 3), 0);
  EXPECT_LT(Compare(twoFull, tenHalf, 3), 0);
  EXPECT_LT(Compare(none, twoFull, 4), 0);
  EXPECT_LT(Compare(tenHalf, twoFull, 4), 0);
  EXPECT_LT(Compare(twoFull, tenFull, 4), 0);  // both 100 %: fewer sources first
  EXPECT_EQ(CompletePercent(0, 5), 0u);
}

TEST(SortOrder, SortsEveryColumnBothWaysAndKeepsKeyOrderForTies) {
  const std::vector<SSharedFileRecord> files = {
      {.key = 1, .name = "b", .size = 30, .typeName = "Text"},
      {.key = 2, .name = "A", .size = 10, .typeName = "Video"},
      {.key = 3, .name = "c", .size = 20, .typeName = "Text"},
  };
  const std::span<const SSharedFileRecord> span(files);
  EXPECT_EQ(SortOrder(span, 0, false), (std::vector<uint32_t>{1, 0, 2}));
  EXPECT_EQ(SortOrder(span, 0, true), (std::vector<uint32_t>{2, 0, 1}));
  EXPECT_EQ(SortOrder(span, 2, false), (std::vector<uint32_t>{1, 2, 0}));
  EXPECT_EQ(SortOrder(span, 1, false), (std::vector<uint32_t>{0, 2, 1}));
  EXPECT_EQ(SortOrder(span, 1, true), (std::vector<uint32_t>{1, 0, 2}));
  for (int column = 0; column < 12; ++column) {  // past the table: by name, never a fault
    auto order = SortOrder(span, column, false);
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, (std::vector<uint32_t>{0, 1, 2}));
  }
}

}  // namespace
}  // namespace tarn::shell::ui
