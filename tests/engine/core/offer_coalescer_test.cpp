#include <gtest/gtest.h>

#include "engine/core/OfferCoalescer.h"
#include "tests/support/ManualClock.h"

namespace P2P {
namespace {

// Offers that go out while a library is hashed, on the manual clock: one per settled burst,
// about one a minute while changes never stop.
TEST(OfferCoalescerTest, OffersSettledBurstsOnceAndSteadyStreamsOncePerMinute) {
  tarn::test::ManualClock clock;
  COfferCoalescer offers;
  EXPECT_FALSE(offers.IsDue());
  EXPECT_EQ(offers.TicksUntilDue(), COfferCoalescer::kNever);

  for (int file = 0; file < 6; ++file) {  // six files hashed in a row
    offers.NoteChange();
    clock.Advance(500);
    EXPECT_FALSE(offers.IsDue());
  }
  clock.Advance(COfferCoalescer::kSettleTime - 1000);
  EXPECT_FALSE(offers.IsDue());
  clock.Advance(500);
  ASSERT_TRUE(offers.IsDue());
  offers.NoteOffered();
  EXPECT_FALSE(offers.IsDue());

  // Files arriving every second for three minutes: never settled, offered once a minute.
  int offered = 0;
  for (int second = 0; second < 180; ++second) {
    offers.NoteChange();
    clock.Advance(1000);
    if (offers.IsDue()) {
      offers.NoteOffered();
      ++offered;
    }
  }
  EXPECT_GE(offered, 2);
  EXPECT_LE(offered, 3);

  // A change long after the last offer goes out as soon as it settles.
  clock.Advance(COfferCoalescer::kMinInterval);
  offers.NoteChange();
  EXPECT_EQ(offers.TicksUntilDue(), COfferCoalescer::kSettleTime);
  offers.Forget();
  EXPECT_FALSE(offers.IsPending());
}

// A file announced while a list is being sent is not in it: it stays pending, whether the
// list went out at a login or after a settled burst.
TEST(OfferCoalescerTest, KeepsChangesNotedAfterTheListWasRead) {
  tarn::test::ManualClock clock;
  COfferCoalescer offers;
  uint64_t mark = offers.Changes();  // the login looks at an empty list
  offers.NoteChange();              // a file hashed meanwhile
  offers.ForgetUpTo(mark);
  EXPECT_TRUE(offers.IsPending());

  mark = offers.Changes();  // this login saw the file
  offers.ForgetUpTo(mark);
  EXPECT_FALSE(offers.IsPending());

  offers.NoteChange();
  clock.Advance(COfferCoalescer::kSettleTime);
  ASSERT_TRUE(offers.IsDue());
  mark = offers.Changes();
  offers.NoteChange();  // arrives while the offer is built
  offers.NoteOffered(mark);
  EXPECT_TRUE(offers.IsPending());
  EXPECT_FALSE(offers.IsDue());  // and waits for the spacing
}

TEST(OfferCoalescerTest, SurvivesTheWrapOfTheTickCounter) {
  tarn::test::ManualClock clock(0xFFFFFFFFu - 1000);
  COfferCoalescer offers;
  offers.NoteChange();
  clock.Advance(COfferCoalescer::kSettleTime);
  EXPECT_TRUE(offers.IsDue());
}

}  // namespace
}  // namespace P2P
