// Source exchange on the asked side: clients asking for a shared file are recorded as its
// sources with their user hashes and what they hold, and a client asking for sources gets the
// others it could reach, itself left out, once in 40 minutes; alone or in a multi-packet.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerFileMessages.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/AcceptedPeerSession.h"
#include "tests/support/ManualClock.h"

namespace P2P {
namespace {

using namespace Protocol;
using Shared::File::TransferFile::CTransferFilePtr;

constexpr uint32_t kFileSize = 9728000 + 1234;  // two parts
constexpr uint32_t kServer = 0x0A0A0A0A;

uint32_t Caps(uint32_t sourceExchange, bool multiPacket = false) {
  return 1u << 8 | sourceExchange << 12 | (multiPacket ? 2u : 0u);
}

// One remote client on a session of its own.
class Remote {
 public:
  Remote(CPeerSessionContext& context, uint8_t user, uint32_t id, uint16_t port,
         uint32_t capabilities, uint32_t server = 0) {
    own_.userHash.bytes.fill(user);
    own_.clientId = id;
    own_.tcpPort = port;
    own_.capabilities = capabilities;
    own_.helloServerIp = server;
    own_.helloServerPort = server != 0 ? 4661 : 0;
    opened_ = session_.Open(context, Client::CClientPtr(new Client::CTARNNetClient));
  }
  bool Hello() {
    return opened_ && Send(kProtocolEDonkey, kOpPeerHello, BuildHelloPayload(own_, false)) &&
           ReadUntil(kOpHelloAnswer).first == kOpHelloAnswer;
  }
  bool Send(uint8_t protocol, uint8_t opcode, const std::vector<uint8_t>& payload) {
    return session_.Send(protocol, opcode, payload);
  }
  // The next packet of `opcode` or of one of `also`; opcode 0 when the stream ended.
  std::pair<uint8_t, std::vector<uint8_t>> ReadUntil(uint8_t opcode,
                                                     std::initializer_list<uint8_t> also = {}) {
    for (;;) {
      const std::string packet = session_.ReadPacket();
      if (packet.size() < 6) return {};
      const auto got = static_cast<uint8_t>(packet[5]);
      if (got == opcode || std::find(also.begin(), also.end(), got) != also.end())
        return {got, std::vector<uint8_t>(packet.begin() + 6, packet.end())};
    }
  }
  const _tagUnionHash& User() const { return own_.userHash; }

 private:
  _tagStructClientConfig own_;
  tarn::test::AcceptedPeerSession session_;
  bool opened_ = false;
};

class SourceExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Shared::_tagStructSharedFile record;
    record.hash.bytes.fill(0x3E);
    record.info.name = "shared.bin";
    record.info.size = kFileSize;
    file_ = CTransferFilePtr(new Shared::File::TransferFile::CTARNNetTransferFile(record));
    context_.findFile = [this](const _tagUnionHash& hash) {
      return hash == file_->GetHash() ? file_ : CTransferFilePtr();
    };
  }
  std::vector<uint8_t> Hash() const {
    const _tagUnionHash hash = file_->GetHash();
    return {hash.bytes.begin(), hash.bytes.end()};
  }
  // A file name request carrying `bits` as the asker's status of the two parts.
  std::vector<uint8_t> NameRequest(uint8_t bits) const {
    std::vector<uint8_t> payload = Hash();
    payload.insert(payload.end(), {2, 0, bits});
    return payload;
  }
  // Asks for the file's name as `remote`, holding the parts in `bits`.
  void Ask(Remote& remote, uint8_t bits) {
    ASSERT_TRUE(remote.Hello());
    ASSERT_TRUE(remote.Send(kProtocolEDonkey, kOpRequestFileName, NameRequest(bits)));
    ASSERT_EQ(remote.ReadUntil(kOpFileNameAnswer).first, kOpFileNameAnswer);
  }
  // Sources answered to `remote` (from a lone request); none when the session answered the
  // file status request sent after it first.
  std::optional<std::vector<_tagStructPeerSource>> SourcesFor(Remote& remote, bool withHashes) {
    remote.Send(kProtocolExtended, kOpRequestSources, Hash());
    remote.Send(kProtocolEDonkey, kOpSetRequestedFile, Hash());
    const auto [opcode, payload] = remote.ReadUntil(kOpAnswerSources, {kOpFileStatus});
    if (opcode != kOpAnswerSources) return std::nullopt;
    remote.ReadUntil(kOpFileStatus);
    CStreamReader reader(std::span<const uint8_t>(payload).subspan(16));
    std::vector<_tagStructPeerSource> sources;
    if (!ReadSources(reader, withHashes, sources) || !reader.AtEnd()) return std::nullopt;
    return sources;
  }

  tarn::test::ManualClock clock_;
  _tagStructClientConfig own_;
  CTransferFilePtr file_;
  CPeerSessionContext context_{own_};
};

TEST_F(SourceExchangeTest, AskersAreGivenToOthersWithUserHashesOnceInFortyMinutes) {
  Remote first(context_, 0xA1, 0x0200007F, 5001, Caps(2));
  Remote lowOnAServer(context_, 0xA2, 1234, 5002, Caps(2), kServer);
  Remote lowAlone(context_, 0xA3, 1235, 5003, Caps(2));
  Remote asker(context_, 0xB1, 0x0500007F, 5005, Caps(2));
  Ask(first, 0b01);
  Ask(lowOnAServer, 0b00);
  Ask(lowAlone, 0b11);  // a low id without a server nobody can reach
  Ask(asker, 0b10);

  const auto sources = SourcesFor(asker, true);
  ASSERT_TRUE(sources);
  // Holding parts first, the asker left out.
  ASSERT_EQ(sources->size(), 2u);
  EXPECT_EQ((*sources)[0].clientId, 0x0200007Fu);
  EXPECT_EQ((*sources)[0].port, 5001);
  EXPECT_EQ((*sources)[0].userHash, first.User());
  EXPECT_EQ((*sources)[1].clientId, 1234u);
  EXPECT_EQ((*sources)[1].serverAddress, kServer);
  EXPECT_EQ((*sources)[1].userHash, lowOnAServer.User());

  // Asked again within 40 minutes, even on a new connection: no answer; after them: answered.
  clock_.Advance(kSourceAskIntervalMs - 1000);
  Remote again(context_, 0xB1, 0x0500007F, 5005, Caps(2));
  Ask(again, 0b10);
  EXPECT_FALSE(SourcesFor(again, true));
  clock_.Advance(1000);
  Remote later(context_, 0xB1, 0x0500007F, 5005, Caps(2));
  Ask(later, 0b10);
  EXPECT_TRUE(SourcesFor(later, true));
}

TEST_F(SourceExchangeTest, AMultiPacketAskGetsTheSourcesInItsAnswerWithoutUserHashesBelowTwo) {
  Remote first(context_, 0xA1, 0x0200007F, 5001, Caps(2));
  Ask(first, 0b11);
  Remote asker(context_, 0xB1, 0x0500007F, 5005, Caps(1, true));
  ASSERT_TRUE(asker.Hello());
  std::vector<uint8_t> request = Hash();
  request.insert(request.end(), {kOpRequestFileName, 2, 0, 0b00, kOpRequestSources});
  ASSERT_TRUE(asker.Send(kProtocolExtended, kOpMultiPacket, request));
  const auto [opcode, payload] = asker.ReadUntil(kOpMultiPacketAnswer);
  ASSERT_EQ(opcode, kOpMultiPacketAnswer);
  std::vector<uint8_t> sources = {
      kOpAnswerSources, 1, 0, 0x7F, 0, 0, 2, 0x89, 0x13, 0, 0, 0, 0, 0, 0};
  EXPECT_NE(std::search(payload.begin(), payload.end(), sources.begin(), sources.end()),
            payload.end());
  EXPECT_EQ(payload.size(), 16 + 3 + std::string("shared.bin").size() + sources.size());
  // The asker is a source of the file now, known to hold nothing yet.
  OSTREL::Process::CLock guard(file_->LockObject());
  const auto* recorded = file_->Sources().Find(0x0500007F);
  ASSERT_NE(recorded, nullptr);
  EXPECT_EQ(recorded->userHash, asker.User());
  EXPECT_EQ(recorded->holds, P2P::Remote::Peer::EPeerHolds::kNothing);
}

}  // namespace
}  // namespace P2P
