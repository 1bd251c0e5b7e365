// The book of ranges a serving session queued or sent in the current slot: a range asked again
// is not handed out again, one new in part is trimmed to the new pieces, and the book stays
// within its cap however the ranges fall.
#include <gtest/gtest.h>

#include "engine/upload/ServedRangeBook.h"

namespace P2P::Shared::File::TransferFile {
namespace {

using Ranges = std::vector<CTARNNetServedRangeBook::Range>;

TEST(ServedRangeBookTest, AskedAgainGivesNothingAndPartlyNewGivesOnlyTheNewPieces) {
  CTARNNetServedRangeBook book(16);
  EXPECT_EQ(book.TakeNew(100, 200), (Ranges{{100, 200}}));
  EXPECT_EQ(book.TakeNew(100, 200), Ranges{});
  EXPECT_EQ(book.TakeNew(150, 180), Ranges{});
  EXPECT_EQ(book.TakeNew(50, 150), (Ranges{{50, 100}}));
  EXPECT_EQ(book.TakeNew(300, 400), (Ranges{{300, 400}}));
  // Spanning a booked range: the gaps on both sides.
  EXPECT_EQ(book.TakeNew(0, 500), (Ranges{{0, 50}, {200, 300}, {400, 500}}));
  EXPECT_EQ(book.Size(), 1u);  // all merged into [0, 500)
  EXPECT_TRUE(book.Covers(0, 500));
}

TEST(ServedRangeBookTest, UnbookedPiecesGoOutAgainAndClearForgetsAll) {
  CTARNNetServedRangeBook book(16);
  book.TakeNew(0, 1000);
  book.Unbook(200, 300);
  EXPECT_EQ(book.TakeNew(0, 1000), (Ranges{{200, 300}}));
  book.Unbook(0, 100);
  book.Unbook(900, 1000);
  EXPECT_TRUE(book.Covers(100, 900));
  EXPECT_FALSE(book.Covers(0, 100));
  book.Clear();
  EXPECT_EQ(book.TakeNew(0, 1000), (Ranges{{0, 1000}}));
}

TEST(ServedRangeBookTest, ScatteredRangesBeyondTheCapForgetTheLowest) {
  CTARNNetServedRangeBook book(4);
  for (uint32_t i = 0; i < 10; ++i) book.TakeNew(i * 100, i * 100 + 10);
  EXPECT_EQ(book.Size(), 4u);
  EXPECT_TRUE(book.Covers(900, 910));
  EXPECT_FALSE(book.Covers(0, 10));
  // Touching ranges merge, so a sliding window holds one range however long it runs.
  CTARNNetServedRangeBook window(4);
  for (uint32_t i = 0; i < 100; ++i) window.TakeNew(i * 100, (i + 3) * 100);
  EXPECT_EQ(window.Size(), 1u);
  EXPECT_TRUE(window.Covers(0, 10200));
}

}  // namespace
}  // namespace P2P::Shared::File::TransferFile
