#include <gtest/gtest.h>

#include <cstring>

#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/AcceptedPeerSession.h"
#include "tests/support/LoopbackPair.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using namespace Protocol;
using tarn::test::WaitUntil;
using tarn::test::WriteAll;

std::string AsText(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

class C2CTCPConnecterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    own_.userHash.bytes.fill(0x42);
    own_.userName = "engine";
    own_.capabilities = kCapabilityWord;
    own_.clientVersion = kClientVersionWord;
    client_ = Client::CClientPtr(new Client::CTARNNetClient);
    ASSERT_TRUE(peer_.Open(context_, client_));
    session_ = peer_.Session();
  }
  void TearDown() override {
    peer_.Close();
  }
  // The remote side reads one packet: header, then its body.
  std::string ReadPacket() { return peer_.ReadPacket(); }

  _tagStructClientConfig own_;
  CPeerSessionContext context_{own_};
  tarn::test::AcceptedPeerSession peer_;
  Client::CClientPtr client_;
  CTARNNetC2CTCPConnecterT* session_ = nullptr;
};

TEST_F(C2CTCPConnecterTest, HelloIsAnsweredWithInfoThenHelloAnswer) {
  _tagStructClientConfig remote;
  remote.userHash.bytes.fill(0x99);
  remote.userName = "remote";
  remote.tcpPort = 4662;
  ASSERT_TRUE(WriteAll(peer_.Remote(), AsText(BuildPeerPacket(kProtocolEDonkey, kOpPeerHello,
                                                              BuildHelloPayload(remote, false)))));
  EXPECT_EQ(ReadPacket(),
            AsText(BuildPeerPacket(kProtocolExtended, kOpInfo, BuildInfoPayload(own_))));
  EXPECT_EQ(ReadPacket(), AsText(BuildPeerPacket(kProtocolEDonkey, kOpHelloAnswer,
                                                 BuildHelloPayload(own_, true))));
  EXPECT_EQ(client_->GetIdentity().userName, "remote");
  EXPECT_EQ(client_->GetUploadState(), Client::kUploadHelloDone);
}

TEST_F(C2CTCPConnecterTest, PortTestIsAnsweredWithTheFixedByte) {
  ASSERT_TRUE(WriteAll(peer_.Remote(), AsText(BuildPeerPacket(kProtocolExtended, kOpPortTest,
                                                              std::vector<uint8_t>{1}))));
  const uint8_t answer = kPortTestAnswerByte;
  EXPECT_EQ(ReadPacket(),
            AsText(BuildPeerPacket(kProtocolEDonkey, kOpPortTestAnswer, {&answer, 1})));
}

TEST_F(C2CTCPConnecterTest, QueueRankExtendsTheIdleLimitAndMarksTheClientQueued) {
  std::vector<uint8_t> rank(12, 0);
  rank[0] = 7;
  ASSERT_TRUE(
      WriteAll(peer_.Remote(), AsText(BuildPeerPacket(kProtocolExtended, kOpQueueRank, rank))));
  ASSERT_TRUE(WaitUntil([&] { return client_->GetRemoteQueueRank() == 7; }));
  EXPECT_EQ(client_->GetDownloadState(), Client::kDownloadQueued);
}

TEST_F(C2CTCPConnecterTest, GarbageAndTruncatedHellosNeverCrashAndAFramingErrorCloses) {
  std::vector<uint8_t> hello =
      BuildPeerPacket(kProtocolEDonkey, kOpPeerHello, std::vector<uint8_t>(3, 0xFF));
  ASSERT_TRUE(WriteAll(peer_.Remote(), AsText(hello)));
  const std::string huge = {static_cast<char>(0xE3), '\xFF', '\xFF', '\xFF', '\x7F', 0x01};
  ASSERT_TRUE(WriteAll(peer_.Remote(), huge));
  EXPECT_TRUE(WaitUntil([&] { return !session_->IsOpen(); }));
  // Both were refused and counted: the hello cut short, then the length past the cap.
  EXPECT_EQ(session_->GetRefusalCount(), 2u);
  EXPECT_EQ(session_->GetLastRefusal().field, "packet length");
  EXPECT_EQ(session_->GetLastRefusal().reason, Protocol::ERefusalReason::kOverLimit);
}

}  // namespace
}  // namespace P2P
