// A file's source list as source exchange uses it: the clients that asked are kept latest
// last within a cap, and a selection puts those known to hold parts first.
#include <gtest/gtest.h>

#include "engine/transfer/PeerList.h"

namespace P2P::Remote::Peer {
namespace {

_tagStructPeer Peer(uint32_t id, EPeerHolds holds = EPeerHolds::kUnknown) {
  _tagStructPeer peer;
  peer.clientId = id;
  peer.port = 4662;
  peer.holds = holds;
  return peer;
}

std::vector<uint32_t> Ids(const CTARNNetPeerList& list) {
  std::vector<uint32_t> ids;
  for (const _tagStructPeer& peer : list) ids.push_back(peer.clientId);
  return ids;
}

TEST(PeerListTest, RecentAskersGoLastAndTheOldestLeaveAtTheCap) {
  CTARNNetPeerList list;
  for (uint32_t id : {1, 2, 3}) list.AddRecent(Peer(id), 3);
  list.AddRecent(Peer(1), 3);  // asked again: now the latest
  EXPECT_EQ(Ids(list), (std::vector<uint32_t>{2, 3, 1}));
  list.AddRecent(Peer(4), 3);
  EXPECT_EQ(Ids(list), (std::vector<uint32_t>{3, 1, 4}));
  _tagUnionHash user;
  user.bytes.fill(9);
  EXPECT_TRUE(list.Update(1, user, EPeerHolds::kParts));
  EXPECT_FALSE(list.Update(2, user, EPeerHolds::kParts));
  // What is not known now does not erase what was.
  EXPECT_TRUE(list.Update(1, {}, EPeerHolds::kUnknown));
  EXPECT_EQ(list.Find(1)->userHash, user);
  EXPECT_EQ(list.Find(1)->holds, EPeerHolds::kParts);
}

TEST(PeerListTest, SelectionPutsHoldersFirstEmptyOnesLastAndStopsAtTheCount) {
  CTARNNetPeerList list;
  list.Add(Peer(1, EPeerHolds::kNothing));
  list.Add(Peer(2, EPeerHolds::kUnknown));
  list.Add(Peer(3, EPeerHolds::kParts));
  list.Add(Peer(4, EPeerHolds::kParts));
  list.Add(Peer(5, EPeerHolds::kUnknown));
  const auto all = [](const _tagStructPeer&) { return true; };
  EXPECT_EQ(Ids(list.Select(10, all)), (std::vector<uint32_t>{3, 4, 2, 5, 1}));
  EXPECT_EQ(Ids(list.Select(3, all)), (std::vector<uint32_t>{3, 4, 2}));
  EXPECT_EQ(Ids(list.Select(10, [](const _tagStructPeer& p) { return p.clientId != 4; })),
            (std::vector<uint32_t>{3, 2, 5, 1}));
}

}  // namespace
}  // namespace P2P::Remote::Peer
