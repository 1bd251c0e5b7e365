#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/base/IdentityKey.h"
#include "engine/net/ClientCreditFile.h"
#include "engine/net/CreditModifier.h"
#include "engine/net/TARNNetClientCreditList.h"
#include "engine/protocol/SecureIdentPayloads.h"
#include "tests/support/Sandbox.h"

namespace P2P::Credit {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kNow = 1800000000;

const std::string& Key(int which) {
  static const std::string keys[] = {*GenerateIdentityKey(), *GenerateIdentityKey(),
                                     *GenerateIdentityKey()};
  return keys[which];
}

std::span<const uint8_t> KeyBytes(int which) {
  return {reinterpret_cast<const uint8_t*>(Key(which).data()), Key(which).size()};
}

_tagUnionHash Hash(uint8_t fill) {
  _tagUnionHash hash;
  hash.bytes.fill(fill);
  return hash;
}

// One engine of the exchange: its credit list and its view of the connection.
struct Side {
  explicit Side(int key)
      : list(std::make_shared<CTARNNetClientCreditList>([this] { return now; })) {
    EXPECT_TRUE(list->SetPrivateKey(KeyBytes(key)));
  }
  // Another session of the same engine: the same list.
  explicit Side(const Side& engine) : list(engine.list) {}
  uint32_t now = kNow;
  std::shared_ptr<CTARNNetClientCreditList> list;
  SSecureIdentContext context;
};

// Plays both sessions: every packet one side hands out is delivered to the other, as the
// peer sessions would do, until nothing is left to send.
void Exchange(Side& a, Side& b) {
  struct Flight {
    Side* to;
    SSecureIdentPacket packet;
  };
  std::deque<Flight> wire;
  auto post = [&wire](Side* to, std::vector<SSecureIdentPacket> packets) {
    for (auto& packet : packets) wire.push_back({to, std::move(packet)});
  };
  post(&b, a.list->SendState(a.context));
  post(&a, b.list->SendState(b.context));
  for (int steps = 0; !wire.empty() && steps < 20; ++steps) {
    Flight flight = std::move(wire.front());
    wire.pop_front();
    Side& to = *flight.to;
    Side* back = &to == &a ? &b : &a;
    const auto& payload = flight.packet.payload;
    switch (flight.packet.opcode) {
      case kOpSecIdentState:
        post(back, to.list->OnState(to.context, payload));
        break;
      case kOpSecIdentPublicKey:
        to.list->OnPublicKey(to.context, payload);
        post(back, to.list->PendingSignature(to.context));
        break;
      case kOpSecIdentSignature:
        to.list->OnSignature(to.context, payload);
        break;
    }
  }
  EXPECT_TRUE(wire.empty());
}

struct IdentCase {
  const char* name;
  uint8_t version;
  uint32_t clientIdA;  // A's id from its server; a high id is its address, 127.0.0.2
};

class SecureIdentTest : public ::testing::TestWithParam<IdentCase> {};

TEST_P(SecureIdentTest, TwoEnginesIdentifyEachOtherOnFirstContactAndAgainWithKnownKeys) {
  Side a(0), b(1);
  const uint32_t addressA = 0x0200007F, addressB = 0x0300007F;  // 127.0.0.2, 127.0.0.3
  a.context = {Hash(0xBB), GetParam().version, GetParam().clientIdA, addressA, addressB};
  b.context = {Hash(0xAA), GetParam().version, 0, addressB, addressA};

  Exchange(a, b);
  EXPECT_EQ(a.list->IdentificationState(Hash(0xBB)), kIdentVerified);
  EXPECT_EQ(b.list->IdentificationState(Hash(0xAA)), kIdentVerified);
  EXPECT_EQ(b.list->Find(Hash(0xAA))->lastSeen, kNow);
  EXPECT_EQ(a.list->Find(Hash(0xBB))->PublicKey().size(), 76u);

  // Next connection: both keys known, state 1 each way, a fresh challenge.
  b.now += 60;
  Exchange(a, b);
  EXPECT_EQ(b.list->IdentificationState(Hash(0xAA)), kIdentVerified);
  EXPECT_EQ(b.list->Find(Hash(0xAA))->lastSeen, kNow + 60);

  // Someone else claiming A's hash cannot bring its own key: B checks against A's.
  Side impostor(2);
  impostor.context = a.context;
  Exchange(impostor, b);
  EXPECT_EQ(b.list->IdentificationState(Hash(0xAA)), kIdentFailed);
}

INSTANTIATE_TEST_SUITE_P(Versions, SecureIdentTest,
                         ::testing::Values(IdentCase{"Version1", 1, 0},
                                           IdentCase{"Version2LowId", 2, 5},
                                           IdentCase{"Version2HighId", 2, 0x0200007F}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SecureIdentTest, ManySessionsIdentifyAgainstOneListAtOnce) {
  Side b(1);
  std::vector<std::thread> sessions;
  std::vector<std::unique_ptr<Side>> remotes, views;
  for (uint8_t i = 0; i < 8; ++i) {
    remotes.push_back(std::make_unique<Side>(i % 2 == 0 ? 0 : 2));
    remotes.back()->context = {Hash(0xBB), 2, 0, 0x0200007F, 0x0300007F};
    // B's view of this session: the same list, another remote user.
    views.push_back(std::make_unique<Side>(b));
    views.back()->context = {Hash(i), 2, 0, 0x0300007F, 0x0200007F};
  }
  for (size_t i = 0; i < remotes.size(); ++i)
    sessions.emplace_back([&, i] {
      for (int round = 0; round < 5; ++round) Exchange(*remotes[i], *views[i]);
    });
  for (auto& session : sessions) session.join();
  for (uint8_t i = 0; i < 8; ++i)
    EXPECT_EQ(views[i]->list->IdentificationState(Hash(i)), kIdentVerified) << int(i);
}

TEST(SecureIdentTest, Version2SignatureForAnotherAddressFails) {
  Side a(0), b(1);
  a.context = {Hash(0xBB), 2, 0, 0x0200007F, 0x0900007F};  // A sees B elsewhere
  b.context = {Hash(0xAA), 2, 0, 0x0300007F, 0x0200007F};
  Exchange(a, b);
  EXPECT_EQ(b.list->IdentificationState(Hash(0xAA)), kIdentFailed);
  EXPECT_EQ(a.list->IdentificationState(Hash(0xBB)), kIdentVerified);
}

TEST(SecureIdentTest, StateTwoGetsKeyThenSignatureStateOneSignatureAlone) {
  Side a(0), b(1);
  a.context = {Hash(0xBB), 1, 0, 0, 0};
  b.context = {Hash(0xAA), 1, 0, 0, 0};
  Exchange(a, b);  // both keys known now

  auto answer = a.list->OnState(a.context, Protocol::BuildSecIdentState({2, 77}));
  ASSERT_EQ(answer.size(), 2u);
  EXPECT_EQ(answer[0].opcode, kOpSecIdentPublicKey);
  EXPECT_EQ(answer[0].payload[0], 76);
  EXPECT_EQ(answer[1].opcode, kOpSecIdentSignature);
  EXPECT_EQ(answer[1].payload[0], 48);  // a 384-bit signature

  answer = a.list->OnState(a.context, Protocol::BuildSecIdentState({1, 78}));
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_EQ(answer[0].opcode, kOpSecIdentSignature);
  EXPECT_TRUE(a.list->OnState(a.context, Protocol::BuildSecIdentState({3, 79})).empty());
  EXPECT_TRUE(a.list->OnState(a.context, Bytes{1, 2, 3}).empty());  // short
  EXPECT_TRUE(a.list->PendingSignature(a.context).empty());         // nothing owed twice
}

TEST(SecureIdentTest, SignatureBeforeChallengeIsIgnored) {
  Side a(0), b(1);
  a.context = {Hash(0xBB), 1, 0, 0, 0};
  b.context = {Hash(0xAA), 1, 0, 0, 0};
  // B learns A's key, and A signs B's state, but B never sent a challenge of its own.
  b.list->OnPublicKey(b.context, Protocol::BuildSecIdentPublicKey(a.list->OwnPublicKey()));
  a.list->OnPublicKey(a.context, Protocol::BuildSecIdentPublicKey(b.list->OwnPublicKey()));
  const auto signature = a.list->OnState(a.context, Protocol::BuildSecIdentState({1, 5}));
  ASSERT_EQ(signature.size(), 1u);
  b.list->OnSignature(b.context, signature[0].payload);
  EXPECT_EQ(b.list->IdentificationState(Hash(0xAA)), kIdentNone);
}

TEST(SecureIdentTest, KeysOfLengthZeroAboveEightyOrUndecodableAreIgnored) {
  Side b(1);
  b.context = {Hash(0xAA), 1, 0, 0, 0};
  b.list->OnPublicKey(b.context, Bytes{0});
  Bytes tooLong(82, 0x30);
  tooLong[0] = 81;
  b.list->OnPublicKey(b.context, tooLong);
  b.list->OnPublicKey(b.context, Bytes{4, 1, 2, 3, 4});
  b.list->OnPublicKey(b.context, Bytes{76, 1, 2});  // longer than the packet
  const auto record = b.list->Find(Hash(0xAA));
  EXPECT_TRUE(!record || !record->HasPublicKey());
}

TEST(SecureIdentTest, NoVersionNoState) {
  Side a(0);
  a.context = {Hash(0xBB), 0, 0, 0, 0};
  EXPECT_TRUE(a.list->SendState(a.context).empty());
}

TEST(SecureIdentTest, AFloodOfNewUsersReplacesKeylessRecordsOnly) {
  Side b(1), a(0);
  a.context = {Hash(0xBB), 1, 0, 0, 0};
  b.context = {Hash(0xAA), 1, 0, 0, 0};
  Exchange(a, b);  // one user with a key, the first record
  _tagUnionHash hash;
  for (uint32_t i = 1; i <= Protocol::kMaxClientCredits + 10; ++i) {
    std::memcpy(hash.bytes.data(), &i, sizeof i);
    ASSERT_TRUE(b.list->FindOrCreate(hash));
  }
  EXPECT_EQ(b.list->Count(), Protocol::kMaxClientCredits);
  EXPECT_TRUE(b.list->Find(hash));
  EXPECT_EQ(b.list->IdentificationState(Hash(0xAA)), kIdentVerified);
}

// Credits.dat.

std::string Record(const std::string& hash, uint32_t lastSeen, const std::string& key) {
  return "\n\t<ClientCredit>\n\t\t<Hash>" + hash +
         "</Hash>\n\t\t<LoUpload>1</LoUpload>\n\t\t<HiUpload>2</HiUpload>\n\t\t<LoDownload>3"
         "</LoDownload>\n\t\t<HiDownload>4</HiDownload>\n\t\t<LastSeen>" +
         std::to_string(lastSeen) + "</LastSeen>\n\t\t<PublicKey>" + key +
         "</PublicKey>\n\t</ClientCredit>";
}

std::string File(const std::string& records) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<ClientCredits>" + records +
         "\n</ClientCredits>";
}

const std::string kHashA = "00112233445566778899AABBCCDDEEFF";
const std::string kHashB = "FFEEDDCCBBAA99887766554433221100";

class CreditsFileTest : public ::testing::Test {
 protected:
  std::string RoundTrip(const std::string& text) {
    sandbox_.WriteFile("Credits.dat", text);
    CTARNNetClientCreditList list([this] { return now_; });
    list.Load(sandbox_.Root(), {});
    EXPECT_TRUE(list.Save(sandbox_.Root()));
    return sandbox_.ReadFile("Credits.dat");
  }
  uint32_t now_ = kNow;
  tarn::test::Sandbox sandbox_;
};

TEST_F(CreditsFileTest, RoundTripsByteForByte) {
  const std::string text =
      File(Record(kHashA, kNow, "3030AB01") + Record(kHashB, kNow - 10, "0102"));
  EXPECT_EQ(RoundTrip(text), text);
  EXPECT_EQ(RoundTrip(File("")), File(""));
}

TEST_F(CreditsFileTest, HexInAnyCaseIsWrittenUpperCase) {
  std::string lower = kHashA;
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  EXPECT_EQ(RoundTrip(File(Record(lower, kNow, "abcdef"))), File(Record(kHashA, kNow, "ABCDEF")));
}

TEST_F(CreditsFileTest, ExpiresOneSecondPastOneHundredFiftyDays) {
  const std::string kept = Record(kHashA, kNow - kCreditExpirySeconds, "01");
  EXPECT_EQ(RoundTrip(File(kept + Record(kHashB, kNow - kCreditExpirySeconds - 1, "02"))),
            File(kept));
  // A record that ages past the limit while loaded is not written either.
  sandbox_.WriteFile("Credits.dat", File(kept));
  CTARNNetClientCreditList list([this] { return now_; });
  list.Load(sandbox_.Root(), {});
  EXPECT_EQ(list.Count(), 1u);
  now_ += 1;
  list.Save(sandbox_.Root());
  EXPECT_EQ(sandbox_.ReadFile("Credits.dat"), File(""));
}

TEST_F(CreditsFileTest, KeylessBrokenAndRepeatedRecordsAreNotWritten) {
  const std::string good = Record(kHashA, kNow, "0A0B");
  EXPECT_EQ(RoundTrip(File(good + Record(kHashB, kNow, "") + Record(kHashB, kNow, "0G") +
                           Record("12", kNow, "01") + Record(kHashA, kNow, "FF"))),
            File(good));
  // A record made during a session that never brought a key.
  CTARNNetClientCreditList list([this] { return now_; });
  ASSERT_TRUE(list.FindOrCreate(Hash(7)));
  list.Save(sandbox_.Root());
  EXPECT_EQ(sandbox_.ReadFile("Credits.dat"), File(""));
}

TEST_F(CreditsFileTest, AttributesAndOtherRootsAndMissingFile) {
  CTARNNetClientCreditList list([this] { return now_; });
  EXPECT_FALSE(list.Load(sandbox_.Root(), KeyBytes(0)));
  EXPECT_TRUE(list.HasSigningState());
  sandbox_.WriteFile("Credits.dat",
                     "<clientcredits><ClientCredit hash=\"" + kHashA + "\" LastSeen=\"" +
                         std::to_string(kNow) +
                         "\"><publickey>01</publickey></ClientCredit></clientcredits>");
  EXPECT_TRUE(list.Load(sandbox_.Root(), {}));
  EXPECT_FALSE(list.HasSigningState());
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.Find(*_tagUnionHash::FromHex(kHashA))->publicKeyLength, 1);
  sandbox_.WriteFile("Credits.dat", "<Other>" + Record(kHashB, kNow, "01") + "</Other>");
  CTARNNetClientCreditList other([this] { return now_; });
  other.Load(sandbox_.Root(), {});
  EXPECT_EQ(other.Count(), 0u);
}

// Counters and the credit modifier.

TEST(CreditModifierTest, FollowsTheRatioAndTheRootWithinOneToTen) {
  constexpr uint64_t kMiB = 1024 * 1024;
  EXPECT_DOUBLE_EQ(ComputeCreditModifier(0, kMiB - 1), 1.0);
  EXPECT_DOUBLE_EQ(ComputeCreditModifier(0, 7 * kMiB), 3.0);            // sqrt(9) < 10
  EXPECT_DOUBLE_EQ(ComputeCreditModifier(0, 200 * kMiB), 10.0);         // root capped
  EXPECT_DOUBLE_EQ(ComputeCreditModifier(8 * kMiB, 14 * kMiB), 3.5);    // 2D/U < sqrt(16)
  EXPECT_DOUBLE_EQ(ComputeCreditModifier(100 * kMiB, 14 * kMiB), 1.0);  // raised to 1
}

TEST(CreditModifierTest, CountersCountOnlyForVerifiedUsers) {
  Side a(0), b(1);
  a.context = {Hash(0xBB), 1, 0, 0, 0};
  b.context = {Hash(0xAA), 1, 0, 0, 0};
  EXPECT_FALSE(b.list->AddDownloaded(Hash(0xAA), 5));
  b.list->FindOrCreate(Hash(0xAA));
  EXPECT_FALSE(b.list->AddDownloaded(Hash(0xAA), 5 << 20));
  EXPECT_DOUBLE_EQ(b.list->CreditModifier(Hash(0xAA)), 1.0);
  Exchange(a, b);
  EXPECT_TRUE(b.list->AddDownloaded(Hash(0xAA), 7 << 20));
  EXPECT_TRUE(b.list->AddUploaded(Hash(0xAA), 0xFFFFFFFFull + 2));
  const auto record = b.list->Find(Hash(0xAA));
  EXPECT_EQ(record->Downloaded(), 7u << 20);
  EXPECT_EQ(record->uploadHigh, 1u);
  EXPECT_EQ(record->uploadLow, 1u);
  EXPECT_DOUBLE_EQ(b.list->CreditModifier(Hash(0xAA)), 1.0);  // 2D/U well below 1
}

}  // namespace
}  // namespace P2P::Credit
