#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "engine/peers/UploadScheduler.h"
#include "tests/support/ManualClock.h"

namespace P2P::Client {
namespace {

constexpr uint32_t kMinute = 60 * 1000;

_tagUnionHash User(uint32_t n) {
  _tagUnionHash hash;
  for (size_t i = 0; i < 4; ++i) hash.bytes[i] = static_cast<uint8_t>(n >> (8 * i));
  hash.bytes[15] = 0xEE;
  return hash;
}

_tagStructUploadRequester Requester(uint32_t n) {
  _tagStructUploadRequester requester;
  requester.userHash = User(n);
  requester.address = 0x0100007F + (n << 24);
  requester.udpPort = static_cast<uint16_t>(4672 + n);
  requester.fileHash.bytes.fill(0xF1);
  return requester;
}

class UploadSchedulerTest : public ::testing::Test {
 protected:
  CTARNNetUploadScheduler Make(uint32_t slots, uint32_t maxQueue = 5000) {
    _tagStructUploadSchedulerSettings settings;
    settings.slots = slots;
    settings.maxQueue = maxQueue;
    return CTARNNetUploadScheduler(settings, [this](const _tagUnionHash& user) {
      const auto it = modifiers_.find(user);
      return it == modifiers_.end() ? 1.0 : it->second;
    });
  }

  tarn::test::ManualClock clock_;
  std::map<_tagUnionHash, double> modifiers_;
};

TEST_F(UploadSchedulerTest, FreeSlotsAcceptAtOnceThenClientsQueueInArrivalOrder) {
  auto scheduler = Make(1);
  EXPECT_EQ(scheduler.Request(Requester(1)).result, EUploadAdmission::kGranted);
  clock_.Advance(1000);
  const auto second = scheduler.Request(Requester(2));
  clock_.Advance(1000);
  const auto third = scheduler.Request(Requester(3));
  EXPECT_EQ(second.result, EUploadAdmission::kQueued);
  EXPECT_EQ(second.rank, 1u);
  EXPECT_EQ(third.rank, 2u);
  // Asking again over TCP keeps the place and the slot.
  clock_.Advance(5000);
  EXPECT_EQ(scheduler.Request(Requester(3)).rank, 2u);
  EXPECT_EQ(scheduler.Request(Requester(1)).result, EUploadAdmission::kGranted);
  EXPECT_EQ(scheduler.SlotsInUse(), 1u);
  EXPECT_EQ(scheduler.QueueLength(), 2u);

  // The slot frees: the longest waiter is called, the other moves up.
  const auto events = scheduler.Remove(User(1));
  EXPECT_EQ(events.called, std::vector<_tagUnionHash>{User(2)});
  EXPECT_TRUE(scheduler.IsUploading(User(2)));
  EXPECT_EQ(scheduler.Rank(User(3)), 1u);
  EXPECT_EQ(scheduler.Rank(User(2)), 0u);
}

TEST_F(UploadSchedulerTest, BetterCreditedUserWinsWhenBothWaitedAsLong) {
  auto scheduler = Make(1);
  scheduler.Request(Requester(1));
  scheduler.Request(Requester(2));  // arrives first
  modifiers_[User(3)] = 2.5;
  scheduler.Request(Requester(3));  // same moment, better credit
  clock_.Advance(10000);
  EXPECT_EQ(scheduler.Rank(User(3)), 1u);
  EXPECT_EQ(scheduler.Rank(User(2)), 2u);
  EXPECT_EQ(scheduler.Remove(User(1)).called, std::vector<_tagUnionHash>{User(3)});

  // Score is time × modifier: a plain user that waited long enough passes a credited one.
  auto second = Make(1);
  second.Request(Requester(1));
  second.Request(Requester(2));
  clock_.Advance(30000);
  second.Request(Requester(3));  // 2.5 × 10 s < 40 s below
  clock_.Advance(10000);
  EXPECT_EQ(second.Rank(User(2)), 1u);
  // A broken modifier counts as 1 rather than letting a client jump the queue.
  modifiers_[User(4)] = 1e9;
  second.Request(Requester(4));
  clock_.Advance(1000);
  EXPECT_EQ(second.Rank(User(4)), 3u);
}

TEST_F(UploadSchedulerTest, SlotRotatesAfterOnePartOrTenMinutes) {
  auto scheduler = Make(1);
  scheduler.Request(Requester(1));
  clock_.Advance(1000);
  scheduler.Request(Requester(2));
  EXPECT_TRUE(scheduler.AddSent(User(1), 9727999));
  EXPECT_TRUE(scheduler.Tick().rotated.empty());
  EXPECT_FALSE(scheduler.AddSent(User(1), 1));  // one part's worth: stop sending

  auto events = scheduler.Tick();
  EXPECT_EQ(events.rotated, std::vector<_tagUnionHash>{User(1)});
  EXPECT_EQ(events.called, std::vector<_tagUnionHash>{User(2)});
  EXPECT_EQ(scheduler.Rank(User(1)), 1u);  // back in the queue, waiting time restarted
  EXPECT_FALSE(scheduler.AddSent(User(1), 10));

  clock_.Advance(10 * kMinute - 1);
  EXPECT_TRUE(scheduler.Tick().rotated.empty());
  clock_.Advance(1);
  events = scheduler.Tick();
  EXPECT_EQ(events.rotated, std::vector<_tagUnionHash>{User(2)});
  EXPECT_EQ(events.called, std::vector<_tagUnionHash>{User(1)});
}

TEST_F(UploadSchedulerTest, UsedUpSlotIsRenewedWhenNobodyCanTakeIt) {
  auto scheduler = Make(1);
  scheduler.Request(Requester(1));
  scheduler.Request(Requester(2));
  scheduler.SetConnected(User(2), false);  // waits without a session: cannot be called
  clock_.Advance(10 * kMinute);
  const auto events = scheduler.Tick();
  EXPECT_TRUE(events.rotated.empty());
  EXPECT_TRUE(events.called.empty());
  EXPECT_TRUE(scheduler.AddSent(User(1), 1000));  // a new term
  // Its next reconnect makes it callable; the next pass after the term ends calls it.
  scheduler.SetConnected(User(2), true);
  clock_.Advance(10 * kMinute);
  EXPECT_EQ(scheduler.Tick().called, std::vector<_tagUnionHash>{User(2)});
}

TEST_F(UploadSchedulerTest, UsedUpSlotGoesOnAtOnceWithNobodyWaiting) {
  auto scheduler = Make(1);
  scheduler.Request(Requester(1));
  EXPECT_TRUE(scheduler.AddSent(User(1), 9728000));  // no stop until the next pass
  EXPECT_TRUE(scheduler.AddSent(User(1), 9727999));  // the new term counts from zero
  EXPECT_TRUE(scheduler.Tick().rotated.empty());
  // A waiter that could take the slot ends the term again.
  scheduler.Request(Requester(2));
  EXPECT_FALSE(scheduler.AddSent(User(1), 1));
  EXPECT_EQ(scheduler.Tick().rotated, std::vector<_tagUnionHash>{User(1)});
}

TEST_F(UploadSchedulerTest, DisconnectedWaiterIsSkippedButKeepsItsPlace) {
  auto scheduler = Make(1);
  scheduler.Request(Requester(1));
  scheduler.Request(Requester(2));
  clock_.Advance(1000);
  scheduler.Request(Requester(3));
  scheduler.SetConnected(User(2), false);
  EXPECT_EQ(scheduler.Remove(User(1)).called, std::vector<_tagUnionHash>{User(3)});
  EXPECT_EQ(scheduler.Rank(User(2)), 1u);
  // A slot holder that loses its session queues again and its slot goes on.
  scheduler.SetConnected(User(2), true);
  const auto events = scheduler.SetConnected(User(3), false);
  EXPECT_EQ(events.called, std::vector<_tagUnionHash>{User(2)});
  EXPECT_FALSE(scheduler.IsUploading(User(3)));
  EXPECT_EQ(scheduler.Rank(User(3)), 1u);
}

// Clients that take a free slot and hang up, one after another, cannot grow a full queue.
TEST_F(UploadSchedulerTest, AFullQueueTakesNoSlotHolderBackWhenItsSessionCloses) {
  auto scheduler = Make(1, 2);
  for (uint32_t n = 1; n <= 10; ++n) {
    EXPECT_EQ(scheduler.Request(Requester(n)).result, EUploadAdmission::kGranted) << n;
    scheduler.SetConnected(User(n), false);
  }
  EXPECT_EQ(scheduler.QueueLength(), 2u);
  EXPECT_EQ(scheduler.Rank(User(1)), 1u);  // the first two kept their places
  EXPECT_EQ(scheduler.Rank(User(3)), 0u);
  EXPECT_EQ(scheduler.SlotsInUse(), 0u);
}

TEST_F(UploadSchedulerTest, SilentWaitersLeaveAfterAnHourAndContactKeepsThem) {
  auto scheduler = Make(0);
  for (uint32_t n = 1; n <= 4; ++n) scheduler.Request(Requester(n));
  clock_.Advance(59 * kMinute);
  scheduler.Request(Requester(2));                                  // TCP reask
  scheduler.Reask(Requester(3).address, Requester(3).udpPort, {});  // UDP reask
  scheduler.SetConnected(User(4), true);                            // reconnect
  clock_.Advance(kMinute);
  EXPECT_EQ(scheduler.Tick().expired, std::vector<_tagUnionHash>{User(1)});
  clock_.Advance(59 * kMinute);
  scheduler.Request(Requester(2));
  clock_.Advance(kMinute);
  EXPECT_EQ(scheduler.Tick().expired.size(), 2u);
  EXPECT_EQ(scheduler.QueueLength(), 1u);
  EXPECT_EQ(scheduler.Rank(User(2)), 1u);
  // A reask from the address of a client that left finds nothing.
  EXPECT_EQ(scheduler.Reask(Requester(3).address, Requester(3).udpPort, {}).answer,
            EReaskAnswer::kNotQueued);
}

TEST_F(UploadSchedulerTest, UdpReaskAnswersRankQueueFullOrNothing) {
  auto scheduler = Make(1, 2);
  scheduler.Request(Requester(1));
  scheduler.Request(Requester(2));
  clock_.Advance(1000);
  const auto rank = scheduler.Reask(Requester(2).address, Requester(2).udpPort, {});
  EXPECT_EQ(rank.answer, EReaskAnswer::kRanked);
  EXPECT_EQ(rank.rank, 1u);
  EXPECT_EQ(scheduler.Reask(Requester(1).address, Requester(1).udpPort, {}).answer,
            EReaskAnswer::kUploading);
  EXPECT_EQ(scheduler.Reask(0x0A0A0A0A, 4672, {}).answer, EReaskAnswer::kNotQueued);
  scheduler.Request(Requester(3));
  EXPECT_EQ(scheduler.Request(Requester(4)).result, EUploadAdmission::kQueueFull);
  EXPECT_EQ(scheduler.Reask(Requester(4).address, Requester(4).udpPort, {}).answer,
            EReaskAnswer::kQueueFull);
  // A client that comes back from another port is found at the new one only.
  auto moved = Requester(2);
  moved.udpPort = 9999;
  scheduler.Request(moved);
  EXPECT_EQ(scheduler.Reask(moved.address, 9999, {}).answer, EReaskAnswer::kRanked);
  EXPECT_EQ(scheduler.Reask(Requester(2).address, Requester(2).udpPort, {}).answer,
            EReaskAnswer::kQueueFull);
}

TEST_F(UploadSchedulerTest, SixThousandRequestersAreCappedAndRankedQuickly) {
  auto scheduler = Make(4, 5000);
  size_t granted = 0, queued = 0, refused = 0;
  for (uint32_t n = 0; n < 6000; ++n) {
    if (n % 7 == 0) modifiers_[User(n)] = 1.0 + (n % 9);
    clock_.Advance(3);
    switch (scheduler.Request(Requester(n)).result) {
      case EUploadAdmission::kGranted:
        ++granted;
        break;
      case EUploadAdmission::kQueued:
        ++queued;
        break;
      case EUploadAdmission::kQueueFull:
        ++refused;
        break;
    }
  }
  EXPECT_EQ(granted, 4u);
  EXPECT_EQ(queued, 5000u);
  EXPECT_EQ(refused, 996u);
  // The same users flooding again add nothing.
  for (uint32_t n = 0; n < 6000; ++n) scheduler.Request(Requester(n));
  EXPECT_EQ(scheduler.QueueLength(), 5000u);
  // Ranks are a permutation of 1..5000.
  std::vector<bool> seen(5001, false);
  for (uint32_t n = 4; n < 5004; ++n) {
    const uint32_t rank = scheduler.Rank(User(n));
    ASSERT_GE(rank, 1u);
    ASSERT_LE(rank, 5000u);
    EXPECT_FALSE(seen[rank]) << rank;
    seen[rank] = true;
  }
  EXPECT_EQ(scheduler.Tick().called.size(), 0u);
}

TEST_F(UploadSchedulerTest, RaisingTheSlotCountCallsWaitersOnTheNextPass) {
  auto scheduler = Make(0);
  EXPECT_EQ(scheduler.Request(Requester(1)).result, EUploadAdmission::kQueued);
  EXPECT_EQ(scheduler.Request(Requester(2)).result, EUploadAdmission::kQueued);
  scheduler.SetSlots(2);
  EXPECT_EQ(scheduler.Tick().called.size(), 2u);
  EXPECT_EQ(scheduler.SlotsInUse(), 2u);
}

// The listing a user sees must agree with the ranks the peers are told.
TEST_F(UploadSchedulerTest, SnapshotListsSlotHoldersThenTheQueueInRankOrder) {
  auto scheduler = Make(2);
  modifiers_[User(5)] = 3.0;
  for (uint32_t n = 1; n <= 5; ++n) {
    scheduler.Request(Requester(n));
    clock_.Advance(1000);
  }
  ASSERT_TRUE(scheduler.AddSent(User(2), 4096));
  clock_.Advance(10 * 1000);

  const auto listing = scheduler.Snapshot();
  ASSERT_EQ(listing.size(), 5u);
  EXPECT_TRUE(listing[0].uploading);
  EXPECT_EQ(listing[0].requester.userHash, User(1));  // held its slot longest
  EXPECT_EQ(listing[0].elapsedMs, 15000u);
  EXPECT_EQ(listing[1].requester.userHash, User(2));
  EXPECT_EQ(listing[1].slotBytes, 4096u);
  EXPECT_EQ(listing[1].rank, 0u);
  // User 5 came last but its credit triples its score: 11 s × 3 beats 13 s × 1.
  EXPECT_EQ(listing[2].requester.userHash, User(5));
  EXPECT_DOUBLE_EQ(listing[2].modifier, 3.0);
  EXPECT_EQ(listing[2].elapsedMs, 11000u);
  for (size_t i = 2; i < listing.size(); ++i) {
    EXPECT_FALSE(listing[i].uploading);
    EXPECT_EQ(listing[i].rank, i - 1);
    EXPECT_EQ(listing[i].rank, scheduler.Rank(listing[i].requester.userHash));
  }
}

TEST_F(UploadSchedulerTest, AWaiterWithoutASessionIsCalledBackAndPassedOverWhenItDoesNotCome) {
  auto scheduler = Make(1);
  EXPECT_EQ(scheduler.Request(Requester(1)).result, EUploadAdmission::kGranted);
  _tagStructUploadRequester reachable = Requester(2);
  reachable.tcpPort = 4662;
  clock_.Advance(1000);
  scheduler.Request(reachable);
  clock_.Advance(1000);
  scheduler.Request(Requester(3));  // names no TCP port: cannot be called back
  // Both leave and wait by UDP; the first gets the slot when it frees, on a call back.
  scheduler.SetConnected(User(2), false);
  scheduler.SetConnected(User(3), false);
  _tagStructSchedulerEvents events = scheduler.Remove(User(1));
  EXPECT_TRUE(events.called.empty());
  ASSERT_EQ(events.callBacks.size(), 1u);
  EXPECT_EQ(events.callBacks[0].userHash, User(2));
  EXPECT_EQ(events.callBacks[0].tcpPort, 4662);
  EXPECT_TRUE(scheduler.IsUploading(User(2)));
  // It does not come within a minute: the slot is free again, its place kept, and it is not
  // called back again until it is heard from.
  clock_.Advance(60 * 1000);
  events = scheduler.Tick();
  EXPECT_TRUE(events.callBacks.empty());
  EXPECT_EQ(scheduler.SlotsInUse(), 0u);
  EXPECT_EQ(scheduler.Rank(User(2)), 1u);
  EXPECT_EQ(scheduler.Reask(reachable.address, reachable.udpPort, reachable.fileHash).rank, 1u);
  events = scheduler.Tick();
  ASSERT_EQ(events.callBacks.size(), 1u);
  // This time it comes: the slot is its own.
  scheduler.SetConnected(User(2), true);
  EXPECT_TRUE(scheduler.AddSent(User(2), 1000));
  clock_.Advance(2 * 60 * 1000);
  EXPECT_TRUE(scheduler.Tick().callBacks.empty());
  EXPECT_TRUE(scheduler.IsUploading(User(2)));
}

}  // namespace
}  // namespace P2P::Client
