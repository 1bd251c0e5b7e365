// The downloading side's requests on one session: the file request sequence after a hello
// answer, the multi-packet form when the file is asked for again on the open session, and
// what the answers lead to (hash set request, start upload request; a wrong hash set is not
// kept).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine/download/DownloadFileData.h"
#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/AcceptedPeerSession.h"
#include "tests/support/ManualClock.h"
#include "tests/support/Sandbox.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using namespace Protocol;
using Shared::File::TransferFile::CTARNNetDownloadFileData;
using Shared::File::TransferFile::CTransferFilePtr;

constexpr uint32_t kFileSize = 9728000 + 5000;

class C2CSessionRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    own_.userHash.bytes.fill(0x42);
    own_.capabilities = kCapabilityWord;
    Shared::_tagStructSharedFile record;
    record.hash.bytes.fill(0x11);
    record.info.name = "wanted.bin";
    record.info.size = kFileSize;
    file_ = CTransferFilePtr(new Shared::File::TransferFile::CTARNNetTransferFile(record));
    std::filesystem::create_directories(sandbox_ / "temp");
    download_ = CTARNNetDownloadFileData::Attach(file_, nullptr);
    ASSERT_TRUE(download_->Create((sandbox_ / "temp").string(), nullptr));
    context_.findFile = [this](const _tagUnionHash& hash) {
      return hash == file_->GetHash() ? file_ : CTransferFilePtr();
    };

    client_ = Client::CClientPtr(new Client::CTARNNetClient);
    const _tagUnionHash hash = file_->GetHash();
    client_->Initialise(0x0100007F, 4662, 0, 0, &hash, nullptr);
    ASSERT_TRUE(peer_.Open(context_, client_));
    session_ = peer_.Session();
  }
  void TearDown() override {
    peer_.Close();
    download_->Detach();
  }
  void Send(uint8_t protocol, uint8_t opcode, const std::vector<uint8_t>& payload) {
    ASSERT_TRUE(peer_.Send(protocol, opcode, payload));
  }
  std::vector<uint8_t> Hash() const {
    const _tagUnionHash hash = file_->GetHash();
    return {hash.bytes.begin(), hash.bytes.end()};
  }
  // Protocol, opcode, then the payload.
  std::vector<uint8_t> Read() {
    const std::string packet = peer_.ReadPacket();
    if (packet.empty()) return {};
    std::vector<uint8_t> bytes{static_cast<uint8_t>(packet[0])};
    bytes.insert(bytes.end(), packet.begin() + 5, packet.end());
    return bytes;
  }
  void SendHelloAnswer() {
    _tagStructClientConfig remote;
    remote.userHash.bytes.fill(0x99);
    remote.capabilities = kCapabilityWord;  // multi-packet, sources, AICH, extended requests 2
    Send(kProtocolEDonkey, kOpHelloAnswer, BuildHelloPayload(remote, true));
  }
  // The part-status bitmap this download sends: two parts counted, none complete.
  static std::vector<uint8_t> OwnStatus() { return {2, 0, 0}; }

  tarn::test::ManualClock clock_;
  tarn::test::Sandbox sandbox_;
  _tagStructClientConfig own_;
  CTransferFilePtr file_;
  Shared::File::TransferFile::CDownloadFileDataPtr download_;
  CPeerSessionContext context_{own_};
  tarn::test::AcceptedPeerSession peer_;
  Client::CClientPtr client_;
  CTARNNetC2CTCPConnecterT* session_ = nullptr;
};

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

TEST_F(C2CSessionRequestTest, HelloAnswerStartsTheSequenceAndAnAskAgainIsOneMultiPacket) {
  SendHelloAnswer();
  // Name (with our bitmap and the u16 count), status, sources, AICH root: in this order.
  EXPECT_EQ(Read(), Concat({{kProtocolEDonkey, kOpRequestFileName}, Hash(), OwnStatus(), {0, 0}}));
  EXPECT_EQ(Read(), Concat({{kProtocolEDonkey, kOpSetRequestedFile}, Hash()}));
  EXPECT_EQ(Read(), Concat({{kProtocolExtended, kOpRequestSources}, Hash()}));
  EXPECT_EQ(Read(), Concat({{kProtocolExtended, kOpAichFileHashRequest}, Hash()}));
  EXPECT_EQ(client_->GetDownloadState(), Client::kDownloadRequesting);

  // Sources were asked for a moment ago: the ask again leaves them out.
  session_->RequestFileAgain();
  EXPECT_EQ(Read(), Concat({{kProtocolExtended, kOpMultiPacket},
                            Hash(),
                            {kOpRequestFileName},
                            OwnStatus(),
                            {0, 0, kOpSetRequestedFile, kOpAichFileHashRequest}}));
  // Forty minutes later they are asked again.
  clock_.Advance(kSourceAskIntervalMs);
  session_->RequestFileAgain();
  EXPECT_EQ(Read(), Concat({{kProtocolExtended, kOpMultiPacket},
                            Hash(),
                            {kOpRequestFileName},
                            OwnStatus(),
                            {0, 0, kOpSetRequestedFile, kOpRequestSources,
                             kOpAichFileHashRequest}}));
}

TEST_F(C2CSessionRequestTest, MultiPacketAnswerLeadsToTheHashSetAndAWrongOneIsNotKept) {
  SendHelloAnswer();
  for (int i = 0; i < 4; ++i) Read();
  // The remote client has the whole file: name and status in one answer.
  Send(kProtocolExtended, kOpMultiPacketAnswer,
       Concat({Hash(), {kOpFileNameAnswer, 1, 0, 'w', kOpFileStatus, 0, 0}}));
  EXPECT_EQ(Read(), Concat({{kProtocolEDonkey, kOpHashSetRequest}, Hash()}));
  // The right count of part hashes that do not derive the file hash.
  std::vector<uint8_t> wrong = Concat({Hash(), {2, 0}});
  wrong.resize(wrong.size() + 2 * 16, 0x5A);
  Send(kProtocolEDonkey, kOpHashSetAnswer, wrong);
  EXPECT_EQ(Read(), Concat({{kProtocolEDonkey, kOpStartUploadRequest}, Hash()}));
  OSTREL::Process::CLock guard(file_->LockObject());
  EXPECT_TRUE(file_->HashSet().HashList().Empty());
  EXPECT_EQ(file_->GetSecondCount(), 1u);  // a complete source is transferring
}

// A hash set of another part count belongs to a file of another size: the source is of no
// use, and as the download's only source it fails the download.
TEST_F(C2CSessionRequestTest, AHashSetOfAnotherPartCountEndsTheSourceAndFailsTheDownload) {
  SendHelloAnswer();
  for (int i = 0; i < 4; ++i) Read();
  Send(kProtocolExtended, kOpMultiPacketAnswer,
       Concat({Hash(), {kOpFileNameAnswer, 1, 0, 'w', kOpFileStatus, 0, 0}}));
  EXPECT_EQ(Read(), Concat({{kProtocolEDonkey, kOpHashSetRequest}, Hash()}));
  std::vector<uint8_t> other = Concat({Hash(), {3, 0}});
  other.resize(other.size() + 3 * 16, 0x5A);
  Send(kProtocolEDonkey, kOpHashSetAnswer, other);
  EXPECT_TRUE(tarn::test::WaitUntil(
      [&] { return download_->FailureReason().find("another size") != std::string::npos; }));
  EXPECT_EQ(Read(), std::vector<uint8_t>{}) << "no upload asked of it";
}

TEST_F(C2CSessionRequestTest, SourcesAndANameGivenInAnAnswerJoinTheDownload) {
  own_.clientId = 0x0900007F;
  own_.tcpPort = 4662;
  SendHelloAnswer();
  for (int i = 0; i < 4; ++i) Read();
  const auto source = [](uint32_t id, uint16_t port, uint8_t user) {
    return Concat({{uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)},
                   {uint8_t(port), uint8_t(port >> 8)},
                   {0, 0, 0, 0, 0, 0},
                   std::vector<uint8_t>(16, user)});
  };
  // A high id, a low id (we are low too while our address is unknown), ourselves by address
  // and by user hash: only the first joins, with its user hash.
  Send(kProtocolExtended, kOpMultiPacketAnswer,
       Concat({Hash(),
               {kOpFileNameAnswer, 9, 0},
               {'o', 't', 'h', 'e', 'r', '.', 'b', 'i', 'n'},
               {kOpAnswerSources, 4, 0},
               source(0x0300007F, 5003, 0x33),
               source(4321, 5004, 0x34),
               source(0x0900007F, 4662, 0x35),
               source(0x0A00007F, 5006, 0x42)}));
  // The answer is taken whole before the next packet: a file status after it.
  Send(kProtocolEDonkey, kOpFileStatus, Concat({Hash(), {0, 0}}));
  EXPECT_EQ(Read(), Concat({{kProtocolEDonkey, kOpHashSetRequest}, Hash()}));
  EXPECT_EQ(file_->GetOtherName(), "other.bin");
  OSTREL::Process::CLock guard(file_->LockObject());
  ASSERT_EQ(file_->Sources().Size(), 1u);
  const auto* added = file_->Sources().Find(0x0300007F);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->port, 5003);
  EXPECT_EQ(added->userHash.bytes[0], 0x33);
}

TEST_F(C2CSessionRequestTest, AskingAgainForAPausedOrStoppedDownloadChangesNothing) {
  SendHelloAnswer();
  for (int i = 0; i < 4; ++i) Read();
  client_->SetDownloadState(Client::kDownloadNothingNeeded);
  for (const bool stop : {false, true}) {
    stop ? download_->SetStopped(true) : download_->SetPaused(true);
    session_->RequestFileAgain();
    EXPECT_EQ(client_->GetDownloadState(), Client::kDownloadNothingNeeded);
    download_->Resume();
  }
  // Nothing went out: the next packet is the answer to what we send now.
  Send(kProtocolEDonkey, kOpFileStatus, Concat({Hash(), {0, 0}}));
  EXPECT_EQ(Read(), Concat({{kProtocolEDonkey, kOpHashSetRequest}, Hash()}));
}

TEST_F(C2CSessionRequestTest, TheStatusOurSourceSendsWithItsOwnRequestIsItsAvailability) {
  SendHelloAnswer();
  for (int i = 0; i < 4; ++i) Read();
  // It asks us for the same file, holding the second part (extended requests version 2:
  // bitmap and count).
  Send(kProtocolEDonkey, kOpRequestFileName, Concat({Hash(), {2, 0, 0b10}, {0, 0}}));
  ASSERT_EQ(Read()[1], kOpFileNameAnswer);
  EXPECT_TRUE(tarn::test::WaitUntil([&] {
    return client_->GetAvailability() == std::vector<uint8_t>{0, 1};
  }));
  EXPECT_EQ(client_->GetDownloadState(), Client::kDownloadRequesting);
  // A bitmap with the wrong part count makes it unusable; the name is still answered.
  Send(kProtocolEDonkey, kOpRequestFileName, Concat({Hash(), {7, 0, 0}, {0, 0}}));
  EXPECT_EQ(Read()[1], kOpFileNameAnswer);
  EXPECT_TRUE(
      tarn::test::WaitUntil([&] { return client_->GetDownloadState() == Client::kDownloadIdle; }));
}

}  // namespace
}  // namespace P2P
