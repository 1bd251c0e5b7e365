// The asked side of a peer session: what a remote client learns about a file we hold, the
// upload grant, refused block requests, the multi-packet answer, and the secure
// identification that opens once per connection.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/AcceptedPeerSession.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using namespace Protocol;
using Shared::File::TransferFile::CTransferFilePtr;
using tarn::test::WaitUntil;

constexpr uint32_t kFileSize = 9728000 + 1234;
constexpr uint32_t kListedServer = 0x0A0A0A0A;

struct SPacket {
  uint8_t protocol = 0;
  uint8_t opcode = 0;
  std::vector<uint8_t> payload;
};

// Counts the state packets it is asked to open and answers each with one.
class CCountingIdent : public Credit::ITARNNetSecureIdentification {
 public:
  std::atomic<int> opened{0};
  std::vector<Credit::SSecureIdentPacket> SendState(const Credit::SSecureIdentContext&) override {
    ++opened;
    return {{Credit::kOpSecIdentState, {1, 0, 0, 0, 0}}};
  }
  std::vector<Credit::SSecureIdentPacket> OnState(const Credit::SSecureIdentContext&,
                                                  std::span<const uint8_t>) override {
    return {};
  }
  void OnPublicKey(const Credit::SSecureIdentContext&, std::span<const uint8_t>) override {}
  void OnSignature(const Credit::SSecureIdentContext&, std::span<const uint8_t>) override {}
  uint32_t IdentificationState(const _tagUnionHash&) override { return Credit::kIdentNone; }
};

class C2CSessionAskedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    own_.userHash.bytes.fill(0x42);
    own_.capabilities = kCapabilityWord;
    // A complete two-part file with its hash set: no download is attached.
    Shared::_tagStructSharedFile record;
    record.info.name = "shared.iso";
    record.info.size = kFileSize;
    _tagUnionHash first, second;
    first.bytes.fill(1);
    second.bytes.fill(2);
    HASH::MD4_HASH::CTARNNetHashList hashes;
    hashes.SetFileSize(kFileSize);
    hashes.Add(first);
    hashes.Add(second);
    record.hash = hashes.DeriveFileHash();
    file_ = CTransferFilePtr(new Shared::File::TransferFile::CTARNNetTransferFile(record));
    file_->HashSet().Reset(kFileSize);
    file_->HashSet().HashList().Add(first);
    file_->HashSet().HashList().Add(second);
    context_.findFile = [this](const _tagUnionHash& hash) {
      return hash == file_->GetHash() ? file_ : CTransferFilePtr();
    };
    // Identification opens only after a hello or info, which most tests do not send.
    context_.identity = &ident_;
    context_.serverPort = [](uint32_t address) -> std::optional<uint16_t> {
      if (address == kListedServer) return uint16_t{4661};
      return std::nullopt;
    };

    client_ = Client::CClientPtr(new Client::CTARNNetClient);
    ASSERT_TRUE(peer_.Open(context_, client_));
    session_ = peer_.Session();
  }
  void TearDown() override { peer_.Close(); }
  void Send(uint8_t protocol, uint8_t opcode, const std::vector<uint8_t>& payload) {
    ASSERT_TRUE(peer_.Send(protocol, opcode, payload));
  }
  std::vector<uint8_t> Hash() const {
    const _tagUnionHash hash = file_->GetHash();
    return {hash.bytes.begin(), hash.bytes.end()};
  }
  SPacket Read() {
    const std::string packet = peer_.ReadPacket();
    if (packet.size() < 6) return {};
    return {static_cast<uint8_t>(packet[0]), static_cast<uint8_t>(packet[5]),
            std::vector<uint8_t>(packet.begin() + 6, packet.end())};
  }

  _tagStructClientConfig own_;
  CTransferFilePtr file_;
  CCountingIdent ident_;
  CPeerSessionContext context_{own_};
  tarn::test::AcceptedPeerSession peer_;
  Client::CClientPtr client_;
  CTARNNetC2CTCPConnecterT* session_ = nullptr;
};

TEST_F(C2CSessionAskedTest, AKnownCompleteFileIsNamedDescribedHashedAndGranted) {
  Send(kProtocolEDonkey, kOpRequestFileName, Hash());
  SPacket name = Read();
  EXPECT_EQ(name.opcode, kOpFileNameAnswer);
  CStreamReader nameReader(std::span(name.payload).subspan(16));
  std::string text;
  ASSERT_TRUE(ReadFileName(nameReader, text));
  EXPECT_EQ(text, "shared.iso");

  Send(kProtocolEDonkey, kOpSetRequestedFile, Hash());
  SPacket status = Read();
  EXPECT_EQ(status.opcode, kOpFileStatus);
  CStreamReader statusReader(std::span(status.payload).subspan(16));
  const auto parts = ReadPartStatus(statusReader, kFileSize);
  ASSERT_TRUE(parts);
  EXPECT_TRUE(parts->empty());  // count 0: the whole file

  Send(kProtocolEDonkey, kOpHashSetRequest, Hash());
  SPacket hashSet = Read();
  EXPECT_EQ(hashSet.opcode, kOpHashSetAnswer);
  HASH::MD4_HASH::CTARNNetHashList received;
  received.SetFileSize(kFileSize);
  CStreamReader hashReader(std::span(hashSet.payload).subspan(16));
  ASSERT_TRUE(received.ReadHashSet(hashReader));
  EXPECT_TRUE(received.Matches(file_->GetHash()));

  Send(kProtocolEDonkey, kOpStartUploadRequest, Hash());
  EXPECT_EQ(Read().opcode, kOpAcceptUploadRequest);
}

TEST_F(C2CSessionAskedTest, AnUnknownFileIsAnsweredNotFoundAndTheSessionCloses) {
  std::vector<uint8_t> unknown(16, 0x77);
  Send(kProtocolEDonkey, kOpSetRequestedFile, unknown);
  const SPacket answer = Read();
  EXPECT_EQ(answer.opcode, kOpFileNotFound);
  EXPECT_EQ(answer.payload, unknown);
  EXPECT_TRUE(WaitUntil([&] { return !session_->IsOpen(); }));
}

TEST_F(C2CSessionAskedTest, BlockRequestsBeyondTheFileOrBackwardsAreOutOfPartRequests) {
  for (const auto& [start, end] : {std::pair{kFileSize - 10, kFileSize + 10},
                                   std::pair{5000u, 10u}}) {
    std::vector<uint8_t> payload = Hash();
    CStreamWriter writer(payload);
    writer.WriteUInt32(start);
    writer.WriteUInt32(0);
    writer.WriteUInt32(0);
    writer.WriteUInt32(end);
    writer.WriteUInt32(0);
    writer.WriteUInt32(0);
    Send(kProtocolEDonkey, kOpRequestParts, payload);
    EXPECT_EQ(Read().opcode, kOpOutOfPartRequests) << start << "-" << end;
  }
  EXPECT_TRUE(session_->IsOpen());
}

TEST_F(C2CSessionAskedTest, MultiPacketIsAnsweredWithNameAndStatusInOnePacket) {
  std::vector<uint8_t> payload = Hash();
  payload.push_back(kOpRequestFileName);
  payload.push_back(kOpSetRequestedFile);
  Send(kProtocolExtended, kOpMultiPacket, payload);
  const SPacket answer = Read();
  EXPECT_EQ(answer.protocol, kProtocolExtended);
  ASSERT_EQ(answer.opcode, kOpMultiPacketAnswer);
  CStreamReader reader(std::span(answer.payload).subspan(16));
  uint8_t sub = 0;
  ASSERT_TRUE(reader.ReadUInt8(sub));
  EXPECT_EQ(sub, kOpFileNameAnswer);
  uint16_t length = 0;
  std::string name;
  ASSERT_TRUE(reader.ReadUInt16(length) && reader.ReadString(length, name));
  EXPECT_EQ(name, "shared.iso");
  ASSERT_TRUE(reader.ReadUInt8(sub));
  EXPECT_EQ(sub, kOpFileStatus);
  const auto parts = ReadPartStatus(reader, kFileSize);
  ASSERT_TRUE(parts);
  EXPECT_TRUE(parts->empty());
}

TEST_F(C2CSessionAskedTest, SecureIdentificationOpensOncePerConnection) {
  _tagStructClientConfig remote;
  remote.userHash.bytes.fill(0x99);
  remote.capabilities = kCapabilityWord;  // secure identification version 3
  Send(kProtocolEDonkey, kOpPeerHello, BuildHelloPayload(remote, false));
  Send(kProtocolExtended, kOpInfo, BuildInfoPayload(remote));
  Send(kProtocolExtended, kOpInfoAnswer, BuildInfoPayload(remote));
  int states = 0;
  for (SPacket packet = Read(); packet.opcode != 0; packet = Read()) {
    if (packet.protocol == kProtocolExtended && packet.opcode == Credit::kOpSecIdentState)
      ++states;
    if (packet.protocol == kProtocolExtended && packet.opcode == kOpInfoAnswer) break;
  }
  EXPECT_EQ(states, 1);
  EXPECT_EQ(ident_.opened.load(), 1);
}

TEST_F(C2CSessionAskedTest, ClientIdChangeIsBelievedOnlyForListedServersAndOwnAddresses) {
  constexpr uint32_t kListed = kListedServer;
  auto change = [&](uint32_t id, uint32_t server) {
    std::vector<uint8_t> payload;
    CStreamWriter writer(payload);
    writer.WriteUInt32(id);
    writer.WriteUInt32(server);
    Send(kProtocolEDonkey, kOpChangeClientId, payload);
  };
  // A port test answered means every packet before it was handled.
  auto idAfter = [&](uint32_t id, uint32_t server) {
    change(id, server);
    Send(kProtocolExtended, kOpPortTest, {1});
    EXPECT_EQ(Read().opcode, kOpPortTestAnswer);
    return client_->GetIdentity().clientId;
  };
  EXPECT_EQ(idAfter(1234, 0x0B0B0B0B), 0u);     // a server we do not list
  EXPECT_EQ(idAfter(0x05060708, kListed), 0u);  // a high id that is not this client's address
  EXPECT_EQ(idAfter(4321, kListed), 4321u);     // a low id from a listed server
  const _tagStructPeerIdentity identity = client_->GetIdentity();
  EXPECT_EQ(identity.serverAddress, kListed);
  EXPECT_EQ(identity.serverPort, 4661);
}

}  // namespace
}  // namespace P2P
