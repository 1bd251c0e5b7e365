// Downloads from test peers on loopback: the download manager, the client list and real peer
// sessions on the peer multiplexer, as the engine root wires them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "engine/download/DownloadFileData.h"
#include "engine/download/DownloadFileManager.h"
#include "engine/net/TARNNetC2CManager.h"
#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/net/TARNNetTransferBudget.h"
#include "engine/peers/ClientList.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/transfer/TransferFileList.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/support/ManualClock.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TestPeer.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Shared::File::TransferFile::CTransferFilePtr;
using tarn::test::PeerPacket;
using tarn::test::PseudoRandomBytes;
using tarn::test::TestPeer;
using tarn::test::WaitUntil;
using Misbehaviour = TestPeer::Misbehaviour;

// Two parts: one whole part and a short second one, so both part kinds are checked.
constexpr size_t kTwoPartSize = 9728000 + 1500000;
// A download lists one source per address: a second peer needs an address of its own.
constexpr const char* kSecondAddress = "127.0.0.2";

class PeerDownloadTest : public ::testing::Test {
 protected:
  PeerDownloadTest() : content_(PseudoRandomBytes(kTwoPartSize, 11)) {
    fs::create_directories(temp_);
    fs::create_directories(shared_);
    own_.userHash.bytes.fill(0x42);
    own_.userName = "engine";
    own_.capabilities = kCapabilityWord;
    own_.clientVersion = kClientVersionWord;
  }
  ~PeerDownloadTest() override {
    peers_.Stop();
    clients_.ClearAll();
    if (downloads_) downloads_->Stop();
    if (auto* files = Shared::File::TransferFile::CTARNNetTransferFileList::PeekInstance())
      files->Clear();
  }

  void SetUp() override {
    Shared::File::TransferFile::SDownloadHooks hooks;
    hooks.sourceAdded = [this](const CTransferFilePtr& file,
                               const Remote::Peer::_tagStructPeer& source) {
      clients_.CreateDownloadSource(file->GetHash(), source.clientId, source.port,
                                    source.serverAddress, source.serverPort, source.userHash);
    };
    hooks.sourceRemoved = [this](const CTransferFilePtr& file, uint32_t id) {
      clients_.DropSource(file->GetHash(), id);
    };
    context_.findFile = [](const _tagUnionHash& hash) {
      auto* files = Shared::File::TransferFile::CTARNNetTransferFileList::PeekInstance();
      return files != nullptr ? files->FindByHash(hash) : CTransferFilePtr();
    };
    context_.clients = &clients_;
    clients_.SetConnectHook([this](const Client::CClientPtr& client, bool callback) {
      auto* session = new CTARNNetC2CTCPConnecterT(context_, client);
      session->AddRef();
      const bool connecting = session->ConnectTo(peers_, callback);
      session->Release();
      return connecting;
    });
    clients_.SetRemoveSourceHook([this](const _tagUnionHash& hash, uint32_t id) {
      if (auto file = downloads_->List().FindByHash(hash)) file->Data()->RemoveSource(id);
    });
    clients_.SetActiveHook([this](const _tagUnionHash& hash) {
      auto file = downloads_->List().FindByHash(hash);
      return !file || (!file->Data()->IsPaused() && !file->Data()->IsStopped());
    });
    ASSERT_TRUE(peers_.Start());
    downloads_ = std::make_unique<CTARNNetDownloadFileManager>();
    downloads_->SetHooks(hooks);
    ASSERT_TRUE(downloads_->Start(temp_, shared_));
    file_ = downloads_->AddDownload(test::RecordFor(content_, "movie.bin"));
    ASSERT_TRUE(file_);
  }

  std::unique_ptr<TestPeer> StartPeer(const std::function<void(TestPeer::Settings&)>& adjust = {}) {
    TestPeer::Settings settings;
    settings.content = content_;
    settings.name = "movie.bin";
    if (adjust) adjust(settings);
    auto peer = std::make_unique<TestPeer>(settings);
    if (!peer->Start()) return nullptr;
    return peer;
  }
  void AddSource(const TestPeer& peer) {
    ASSERT_TRUE(downloads_->AddSource(file_->GetHash(), peer.Address(), peer.Port(), 0, 0));
  }
  // A download of `real`'s hash asked for at `size`, with a peer serving `real` as its source.
  struct SDownloadAtSize {
    std::shared_ptr<Shared::File::TransferFile::CTARNNetDownloadFileData> data;
    std::unique_ptr<TestPeer> peer;
  };
  SDownloadAtSize DownloadAtSize(const std::vector<uint8_t>& real, const std::string& name,
                                 uint32_t size) {
    auto record = test::RecordFor(real, name);
    record.info.size = size;
    const CTransferFilePtr file = downloads_->AddDownload(record);
    if (!file) return {};
    SDownloadAtSize made;
    made.data = file->DataAs<Shared::File::TransferFile::CTARNNetDownloadFileData>();
    made.peer = StartPeer([&](TestPeer::Settings& s) {
      s.content = real;
      s.name = name;
    });
    if (!made.peer ||
        !downloads_->AddSource(record.hash, made.peer->Address(), made.peer->Port(), 0, 0))
      made.peer.reset();
    return made;
  }
  bool Completed(std::chrono::milliseconds deadline = 30s) {
    return WaitUntil([&] { return fs::exists(shared_ / "movie.bin"); }, deadline) &&
           ReadAll(shared_ / "movie.bin") == content_;
  }
  // A second peer with the file's AICH tree, whose root the download trusts; one that queues
  // us and never grants the upload when `queues`.
  std::unique_ptr<TestPeer> StartTrustedHealer(bool queues) {
    auto healer = StartPeer([queues](TestPeer::Settings& s) {
      s.aich = true;
      s.capabilities = 1u << 29;  // AICH version 1
      s.address = kSecondAddress;
      if (queues) {
        s.queueRank = 4;
        s.acceptDelay = std::chrono::hours(1);
      }
    });
    if (!healer || !healer->AichRoot()) return nullptr;
    HASH::_tagStructAICHHash root;
    root.bytes = *healer->AichRoot();
    OSTREL::Process::CLock guard(file_->LockObject());
    file_->HashSet().SetRootHash(root, HASH::CTARNNetFileHashSet::kStatusTrusted);
    return healer;
  }
  size_t PartsAwaitingRecovery() {
    OSTREL::Process::CLock guard(file_->LockObject());
    return file_->DataAs<Shared::File::TransferFile::CTARNNetDownloadFileData>()
        ->Blocks()
        .PartsAwaitingRecovery()
        .size();
  }
  // A source whose first block is wrong (every block: `all`), once everything came and each
  // spoiled part awaits recovery.
  std::unique_ptr<TestPeer> SpoilAPart(bool all = false) {
    auto spoiler = StartPeer([all](TestPeer::Settings& s) {
      s.misbehave = Misbehaviour::kWrongData;
      if (all) s.misbehaveBlocks = 1000;
    });
    if (!spoiler) return nullptr;
    AddSource(*spoiler);
    const size_t parts = all ? 2 : 1;
    const bool spoiled = WaitUntil(
        [&] { return file_->Data()->RemainingBytes() == 0 && PartsAwaitingRecovery() == parts; },
        30s);
    return spoiled ? std::move(spoiler) : nullptr;
  }
  // The download's only source, a peer that ranks us ninth in its queue and never grants the
  // upload; null when it did not get there.
  std::unique_ptr<TestPeer> StartQueuedSource() {
    auto queued = StartPeer([](TestPeer::Settings& s) {
      s.queueRank = 9;
      s.acceptDelay = std::chrono::hours(1);
    });
    if (!queued) return nullptr;
    AddSource(*queued);
    const bool waiting = WaitUntil([&] {
      auto source = OnlySource();
      return source && source->GetDownloadState() == Client::kDownloadQueued;
    });
    return waiting ? std::move(queued) : nullptr;
  }
  Client::CClientPtr OnlySource() {
    auto sources = clients_.DownloadQueue().Snapshot();
    return sources.size() == 1 ? sources.front() : Client::CClientPtr();
  }
  static std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // A peer serving a 5 GiB file, zeros but for random data in the part that crosses 32 bits
  // and in the last part, the only two parts it holds.
  std::unique_ptr<TestPeer> StartLargePeer(uint32_t seed,
                                           const std::function<void(TestPeer::Settings&)>& adjust) {
    TestPeer::Settings settings;
    settings.name = "large.bin";
    settings.sparseSize = kLargeSize;
    settings.extents = {{(uint64_t{1} << 32) - 500, PseudoRandomBytes(184320, seed)},
                        {kLargeSize - 3000, PseudoRandomBytes(3000, seed + 1)}};
    settings.parts.assign(kLargeSize / kPart + 1, 0);
    for (const uint64_t part : kLargeParts) settings.parts[part] = 1;
    adjust(settings);
    auto peer = std::make_unique<TestPeer>(settings);
    if (!peer->Start()) return nullptr;
    return peer;
  }
  CTransferFilePtr AddLargeDownload(const TestPeer& peer) {
    Shared::_tagStructSharedFile record;
    std::copy_n(peer.FileHash().begin(), record.hash.kSize, record.hash.bytes.begin());
    record.info.name = "large.bin";
    record.info.size = kLargeSize;
    const CTransferFilePtr file = downloads_->AddDownload(record);
    if (file && downloads_->AddSource(record.hash, peer.Address(), peer.Port(), 0, 0)) return file;
    return {};
  }
  static bool PartsVerified(const CTransferFilePtr& file) {
    OSTREL::Process::CLock guard(file->LockObject());
    const std::vector<uint8_t>& complete = file->CompletionBitmap();
    return std::all_of(std::begin(kLargeParts), std::end(kLargeParts),
                       [&](uint64_t part) { return part < complete.size() && complete[part]; });
  }
  static constexpr uint64_t kLargeSize = uint64_t{5} << 30;
  static constexpr uint64_t kPart = 9728000;
  static constexpr uint64_t kLargeParts[] = {(uint64_t{1} << 32) / kPart, kLargeSize / kPart};

  tarn::test::Sandbox sandbox_;
  fs::path temp_ = sandbox_ / "temp";
  fs::path shared_ = sandbox_ / "shared";
  std::vector<uint8_t> content_;
  _tagStructClientConfig own_;
  Client::CTARNNetClientList clients_;
  CPeerSessionContext context_{own_};
  CTARNNetC2CManager peers_;
  std::unique_ptr<CTARNNetDownloadFileManager> downloads_;
  CTransferFilePtr file_;
};

TEST_F(PeerDownloadTest, PlainBlocksFromOnePeerCompleteAVerifiedFile) {
  auto peer = StartPeer();
  ASSERT_TRUE(peer);
  AddSource(*peer);
  EXPECT_TRUE(Completed());
  // The handshake and the request sequence, in the order peers expect them.
  EXPECT_GE(peer->CountReceived(0xE3, Protocol::kOpPeerHello), 1u);
  EXPECT_GE(peer->CountReceived(0xE3, Protocol::kOpRequestFileName), 1u);
  EXPECT_EQ(peer->CountReceived(0xE3, Protocol::kOpHashSetRequest), 1u);
  EXPECT_GE(peer->CountReceived(0xE3, Protocol::kOpRequestParts), 20u);
  EXPECT_NE(context_.publicAddress.load(), 0u);
}

TEST_F(PeerDownloadTest, EveryByteTakenIsCreditedToTheSendingPeer) {
  std::atomic<uint64_t> credited{0};
  CTARNNetTransferBudget budget(
      [&credited](const _tagUnionHash&, uint64_t bytes) { credited += bytes; });
  context_.budget = &budget;
  auto peer = StartPeer();
  ASSERT_TRUE(peer);
  AddSource(*peer);
  const bool completed = Completed();
  peers_.Stop();
  context_.budget = nullptr;
  EXPECT_TRUE(completed);
  EXPECT_EQ(credited.load(), content_.size());
}

TEST_F(PeerDownloadTest, MaxDownloadHoldsTheReceivingRateWithinTenPercent) {
  CTARNNetTransferBudget budget;
  _tagStructClientConfig config;
  config.maxDownloadKiB = 2048;
  budget.ApplyConfig(config);
  budget.SetReadResumeHook([this] { context_.pausedReaders.ResumeAll(); });
  context_.budget = &budget;
  auto peer = StartPeer();
  ASSERT_TRUE(peer);
  AddSource(*peer);
  ASSERT_TRUE(WaitUntil([&] { return file_->Data()->ReceivedBytes() > 0; }));
  // Measured past the first moments, whose burst the bucket allows.
  std::this_thread::sleep_for(500ms);
  const uint32_t before = file_->Data()->ReceivedBytes();
  const auto from = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(2s);
  const uint32_t after = file_->Data()->ReceivedBytes();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
  peers_.Stop();
  context_.budget = nullptr;
  const double limit = 2048.0 * 1024;
  EXPECT_NEAR((after - before) / seconds, limit, 0.1 * limit);
}

TEST_F(PeerDownloadTest, PackedSlicesInPackedPacketsAfterAQueueWaitComplete) {
  auto peer = StartPeer([](TestPeer::Settings& s) {
    s.compressed = true;
    s.packExtended = true;
    s.queueRank = 4;
    s.acceptDelay = 300ms;
  });
  ASSERT_TRUE(peer);
  AddSource(*peer);
  ASSERT_TRUE(WaitUntil([&] {
    auto source = OnlySource();
    return source && source->GetRemoteQueueRank() == 4;
  }));
  EXPECT_TRUE(Completed());
}

TEST_F(PeerDownloadTest, TwoPeersWithDifferentPartsTogetherCompleteTheFile) {
  auto first = StartPeer([](TestPeer::Settings& s) { s.parts = {1, 0}; });
  auto second = StartPeer([](TestPeer::Settings& s) {
    s.parts = {0, 1};
    s.address = kSecondAddress;
  });
  ASSERT_TRUE(first && second);
  AddSource(*first);
  AddSource(*second);
  EXPECT_TRUE(Completed());
  EXPECT_GT(first->BlocksSent(), 0u);
  EXPECT_GT(second->BlocksSent(), 0u);
}

TEST_F(PeerDownloadTest, CorruptBlockFailsItsPartWhichIsFetchedAgain) {
  auto peer = StartPeer([](TestPeer::Settings& s) { s.misbehave = Misbehaviour::kWrongData; });
  ASSERT_TRUE(peer);
  AddSource(*peer);
  EXPECT_TRUE(Completed());
  // The bad part came twice: the peer sends a range once in a slot, so its second copy was
  // asked for in a new slot, on the same connection.
  const size_t blocks = (content_.size() + 184319) / 184320;
  EXPECT_GT(peer->BlocksSent(), blocks);
  EXPECT_EQ(peer->CountReceived(0xE3, Protocol::kOpPeerHello), 1u);
  EXPECT_GE(peer->CountReceived(0xE3, Protocol::kOpCancelTransfer), 1u);
  EXPECT_GE(peer->CountReceived(0xE3, Protocol::kOpStartUploadRequest), 2u);
}

// With a trusted AICH root, a part failing its MD4 keeps its blocks until recovery data from
// another peer names the bad one: only that block is fetched again.
TEST_F(PeerDownloadTest, RecoveryDataFromASecondPeerRepairsOnlyTheBadBlock) {
  auto healer = StartTrustedHealer(false);
  ASSERT_TRUE(healer);
  auto spoiler = SpoilAPart();
  ASSERT_TRUE(spoiler);
  EXPECT_FALSE(file_->Data()->IsFinished());
  const size_t spoiled = spoiler->BlocksSent();

  AddSource(*healer);
  EXPECT_TRUE(Completed());
  EXPECT_GE(healer->CountReceived(0xC5, Protocol::kOpAichRequest), 1u);
  // One block is required again, not the part's 53; the last blocks of a download may be
  // asked of a source twice, so a request's worth is the most that may come.
  const size_t again = spoiler->BlocksSent() - spoiled + healer->BlocksSent();
  EXPECT_GE(again, 1u);
  EXPECT_LE(again, 3u);
}

TEST_F(PeerDownloadTest, PackedBlockInflatingPastItsLengthIsDroppedAndAskedAgain) {
  auto peer = StartPeer([](TestPeer::Settings& s) { s.misbehave = Misbehaviour::kZipBomb; });
  ASSERT_TRUE(peer);
  AddSource(*peer);
  EXPECT_TRUE(Completed());
}

TEST_F(PeerDownloadTest, OnePartFileNeedsNoStatusExchange) {
  const auto small = PseudoRandomBytes(700000, 12);
  ASSERT_TRUE(downloads_->AddDownload(test::RecordFor(small, "small.bin")));
  auto peer = StartPeer([&](TestPeer::Settings& s) {
    s.content = small;
    s.name = "small.bin";
  });
  ASSERT_TRUE(peer);
  const auto hash = test::RecordFor(small, "small.bin").hash;
  ASSERT_TRUE(downloads_->AddSource(hash, peer->Address(), peer->Port(), 0, 0));
  EXPECT_TRUE(WaitUntil([&] { return fs::exists(shared_ / "small.bin"); }, 30s));
  EXPECT_EQ(ReadAll(shared_ / "small.bin"), small);
  EXPECT_EQ(peer->CountReceived(0xE3, Protocol::kOpSetRequestedFile), 0u);
  EXPECT_EQ(peer->CountReceived(0xE3, Protocol::kOpHashSetRequest), 0u);
}

TEST_F(PeerDownloadTest, WrongHashSetIsRefusedAndARightOneLaterCompletes) {
  auto liar = StartPeer([](TestPeer::Settings& s) { s.misbehave = Misbehaviour::kBadHashSet; });
  ASSERT_TRUE(liar);
  AddSource(*liar);
  // All data arrives, but no part can be proven without a matching hash set.
  ASSERT_TRUE(WaitUntil([&] { return file_->Data()->RemainingBytes() == 0; }, 30s));
  {
    OSTREL::Process::CLock guard(file_->LockObject());
    EXPECT_TRUE(file_->HashSet().HashList().Empty());
  }
  EXPECT_FALSE(file_->Data()->IsFinished());
  auto honest = StartPeer([](TestPeer::Settings& s) { s.address = kSecondAddress; });
  ASSERT_TRUE(honest);
  AddSource(*honest);
  ASSERT_TRUE(honest->WaitForPacket(0xE3, Protocol::kOpHashSetRequest));
  // The engine's periodic sample checks the parts again once the hash set is there.
  EXPECT_TRUE(WaitUntil(
      [&] {
        file_->Data()->StatisticsSample();
        return fs::exists(shared_ / "movie.bin");
      },
      10s));
  EXPECT_EQ(ReadAll(shared_ / "movie.bin"), content_);
}

// A link may name a file's hash with another size. The data of that file can never prove
// itself against the hash for the size asked for: the download fails, with its reason, after
// a bounded number of bytes instead of fetching the same bytes for ever.
TEST_F(PeerDownloadTest, ALinkWithTheWrongSizeFailsWithinABoundOfBytes) {
  const auto wrong = DownloadAtSize(PseudoRandomBytes(3000000, 13), "wrong size.bin", 1000);
  ASSERT_TRUE(wrong.data && wrong.peer);
  ASSERT_TRUE(WaitUntil([&] { return !wrong.data->FailureReason().empty(); }, 30s))
      << wrong.data->ReceivedBytes() << " bytes received";
  EXPECT_NE(wrong.data->FailureReason().find("1000 bytes"), std::string::npos)
      << wrong.data->FailureReason();
  EXPECT_FALSE(wrong.data->NeedsSources());
  std::this_thread::sleep_for(300ms);
  const uint32_t received = wrong.data->ReceivedBytes();
  EXPECT_LE(received,
            1000u * (1 + Shared::File::TransferFile::CTARNNetDownloadBlocks::kIdenticalFailures));
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(wrong.data->ReceivedBytes(), received) << "nothing more after the failure";
}

// A many-part file asked for with a size of another part count: its source's part bitmap
// tells at once, and with every source so the download fails before any data is asked for.
TEST_F(PeerDownloadTest, EverySourceHoldingTheFileAtAnotherSizeFailsTheDownload) {
  const auto wrong =
      DownloadAtSize(PseudoRandomBytes(kTwoPartSize, 14), "bigger.bin", 3 * 9728000 + 5);
  ASSERT_TRUE(wrong.data && wrong.peer);
  ASSERT_TRUE(WaitUntil([&] { return !wrong.data->FailureReason().empty(); }, 30s));
  EXPECT_NE(wrong.data->FailureReason().find("another size than 29184005 bytes"), std::string::npos)
      << wrong.data->FailureReason();
  EXPECT_EQ(wrong.data->ReceivedBytes(), 0u);
  EXPECT_EQ(wrong.peer->CountReceived(0xE3, Protocol::kOpRequestParts), 0u);
  // Resume gives it another try.
  EXPECT_TRUE(wrong.data->Resume());
  EXPECT_EQ(wrong.data->FailureReason(), "");
}

TEST_F(PeerDownloadTest, BitmapWithTheWrongPartCountMakesTheSourceUnusable) {
  auto peer = StartPeer([](TestPeer::Settings& s) { s.misbehave = Misbehaviour::kBadPartCount; });
  ASSERT_TRUE(peer);
  AddSource(*peer);
  ASSERT_TRUE(WaitUntil([&] {
    auto source = OnlySource();
    return source && source->GetDownloadState() == Client::kDownloadIdle &&
           source->GetSession() == nullptr;
  }));
  EXPECT_EQ(peer->CountReceived(0xE3, Protocol::kOpStartUploadRequest), 0u);
  EXPECT_EQ(peer->CountReceived(0xE3, Protocol::kOpRequestParts), 0u);
}

TEST_F(PeerDownloadTest, DisconnectMidBlockLeavesTheClientForAReaskAndAnotherSourceFinishes) {
  auto flaky = StartPeer([](TestPeer::Settings& s) {
    s.misbehave = Misbehaviour::kDisconnectMidBlock;
  });
  ASSERT_TRUE(flaky);
  AddSource(*flaky);
  ASSERT_TRUE(WaitUntil([&] {
    auto source = OnlySource();
    return source && source->GetSession() == nullptr &&
           source->GetDownloadState() == Client::kDownloadReceiving;
  }));
  EXPECT_FALSE(OnlySource()->ReaskDue());  // asked again in 10 s, not at once
  auto steady = StartPeer([](TestPeer::Settings& s) { s.address = kSecondAddress; });
  ASSERT_TRUE(steady);
  AddSource(*steady);
  EXPECT_TRUE(Completed());
}

// How a session ends decides what becomes of its client: one waiting in the remote queue is
// asked again later; one that left blocks unanswered is dropped with its source entry.
TEST_F(PeerDownloadTest, SessionEndKeepsAQueuedClientAndDropsOneWithRequestsUnanswered) {
  auto queued = StartQueuedSource();
  ASSERT_TRUE(queued);
  queued->Stop();
  ASSERT_TRUE(WaitUntil([&] {
    auto source = OnlySource();
    return source && source->GetSession() == nullptr;
  }));
  EXPECT_EQ(OnlySource()->GetDownloadState(), Client::kDownloadQueued);
  EXPECT_FALSE(OnlySource()->ReaskDue());
  EXPECT_EQ(file_->Sources().Size(), 1u);
  clients_.ClearAll();

  auto mute = StartPeer([](TestPeer::Settings& s) {
    s.misbehave = Misbehaviour::kIgnoreRequests;
    s.address = kSecondAddress;
  });
  ASSERT_TRUE(mute);
  AddSource(*mute);
  ASSERT_TRUE(mute->WaitForPacket(0xE3, Protocol::kOpRequestParts));
  mute->Stop();
  EXPECT_TRUE(WaitUntil([&] { return clients_.DownloadQueue().Size() == 0; }));
  EXPECT_TRUE(WaitUntil([&] {
    OSTREL::Process::CLock guard(file_->LockObject());
    return !file_->Sources().Contains(mute->Address());
  }));
  // The blocks it held are free for other sources.
  OSTREL::Process::CLock guard(file_->LockObject());
  EXPECT_TRUE(file_->DataAs<Shared::File::TransferFile::CTARNNetDownloadFileData>()
                  ->Blocks()
                  .Requested()
                  .Empty());
}

TEST_F(PeerDownloadTest, DataOutsideTheRequestIsRefusedWithCancelTransfer) {
  auto peer = StartPeer([](TestPeer::Settings& s) {
    s.misbehave = Misbehaviour::kOutsideRequest;
    s.misbehaveBlocks = 1000;
  });
  ASSERT_TRUE(peer);
  AddSource(*peer);
  ASSERT_TRUE(peer->WaitForPacket(0xE3, Protocol::kOpCancelTransfer));
  ASSERT_TRUE(WaitUntil([&] {
    auto source = OnlySource();
    return source && source->GetDownloadState() == Client::kDownloadNothingNow;
  }));
  EXPECT_EQ(file_->Data()->ReceivedBytes(), 0u);
  EXPECT_EQ(file_->Data()->RemainingBytes(), content_.size());
}

// A part that failed with a trusted AICH root asks a peer for recovery data as soon as the
// peer names the root, though that peer only queues us and never grants the upload.
TEST_F(PeerDownloadTest, RecoveryDataIsAskedAtOnceWithoutWaitingForAnUploadGrant) {
  auto healer = StartTrustedHealer(true);
  ASSERT_TRUE(healer);
  ASSERT_TRUE(SpoilAPart());
  const auto download = file_->Data();

  AddSource(*healer);
  ASSERT_TRUE(healer->WaitForPacket(0xC5, Protocol::kOpAichRequest));
  // The recovery data names the bad block: it alone is required again, and nothing waits.
  EXPECT_TRUE(WaitUntil(
      [&] { return download->RemainingBytes() == 184320 && PartsAwaitingRecovery() == 0; }));
  EXPECT_EQ(healer->CountReceived(0xE3, Protocol::kOpRequestParts), 0u);
}

// Every part awaiting recovery that the peer holds is asked for, each once, while it only
// queues us: both parts are repaired (here every block was bad) before any grant.
TEST_F(PeerDownloadTest, EveryPartAwaitingRecoveryIsAskedOnceWithoutAGrant) {
  auto healer = StartTrustedHealer(true);
  ASSERT_TRUE(healer);
  ASSERT_TRUE(SpoilAPart(true));

  AddSource(*healer);
  EXPECT_TRUE(WaitUntil([&] {
    return PartsAwaitingRecovery() == 0 && file_->Data()->RemainingBytes() == content_.size();
  }));
  EXPECT_EQ(healer->CountReceived(0xC5, Protocol::kOpAichRequest), 2u);
  EXPECT_EQ(healer->CountReceived(0xE3, Protocol::kOpRequestParts), 0u);
}

// Pausing leaves a download's sources as they are: an hour of reask passes neither reconnects
// nor drops the one waiting in a remote queue, and the resume asks it again at once.
TEST_F(PeerDownloadTest, APausedDownloadKeepsItsSourcesThroughAnHourOfReaskPasses) {
  tarn::test::ManualClock clock;
  auto queued = StartQueuedSource();
  ASSERT_TRUE(queued);
  ASSERT_TRUE(file_->Data()->SetPaused(true));
  // The queued session goes idle and ends; its client waits to be asked again.
  clock.Advance(130000);
  ASSERT_TRUE(WaitUntil([&] { return OnlySource() && OnlySource()->GetSession() == nullptr; }));
  for (int pass = 0; pass < 360; ++pass) {
    clock.Advance(10000);
    clients_.ReaskPass();
  }
  EXPECT_EQ(queued->Connections(), 1u);
  ASSERT_TRUE(OnlySource());
  EXPECT_EQ(OnlySource()->GetDownloadState(), Client::kDownloadQueued);
  EXPECT_EQ(file_->Sources().Size(), 1u);
  ASSERT_TRUE(file_->Data()->Resume());
  clients_.ReaskPass();
  EXPECT_TRUE(WaitUntil([&] { return queued->Connections() == 2; }));
}

// Every block of a large file is asked in the 64-bit form and taken in the 64-bit forms, plain
// and packed, and the parts verify against the hash set across 32 bits and at the end.
TEST_F(PeerDownloadTest, LargeFileIsAskedAndReceivedInTheWideFormsOnly) {
  for (const bool compressed : {false, true}) {
    SCOPED_TRACE(compressed);
    auto peer = StartLargePeer(compressed ? 31 : 21, [&](TestPeer::Settings& s) {
      s.compressed = compressed;
      s.address = compressed ? kSecondAddress : "127.0.0.1";
    });
    ASSERT_TRUE(peer);
    const CTransferFilePtr file = AddLargeDownload(*peer);
    ASSERT_TRUE(file);
    EXPECT_TRUE(WaitUntil([&] { return PartsVerified(file); }, 60s));
    EXPECT_GE(peer->CountReceived(0xC5, Protocol::kOpRequestPartsWide), 1u);
    EXPECT_EQ(peer->CountReceived(0xE3, Protocol::kOpRequestParts), 0u);
    EXPECT_EQ(peer->CountReceived(0xE3, Protocol::kOpHashSetRequest), 1u);
  }
}

// A peer whose hello does not take large files is not asked anything of a large file; small
// files still come from it as before.
TEST_F(PeerDownloadTest, APeerWithoutTheLargeFileBitIsNeverAskedForALargeFile) {
  auto peer = StartLargePeer(41, [](TestPeer::Settings& s) { s.largeFiles = false; });
  ASSERT_TRUE(peer);
  ASSERT_TRUE(AddLargeDownload(*peer));
  ASSERT_TRUE(peer->WaitForPacket(0xE3, Protocol::kOpPeerHello));
  EXPECT_TRUE(WaitUntil([&] {
    auto source = OnlySource();
    return source && source->GetDownloadState() == Client::kDownloadIdle &&
           source->GetSession() == nullptr;
  }));
  for (const PeerPacket& packet : peer->Received())
    EXPECT_TRUE(packet.opcode == Protocol::kOpPeerHello ||
                (packet.protocol == 0xC5 && packet.opcode == Protocol::kOpPublicIpRequest))
        << int(packet.protocol) << " " << int(packet.opcode);

  auto small = StartPeer([](TestPeer::Settings& s) {
    s.largeFiles = false;
    s.address = kSecondAddress;
  });
  ASSERT_TRUE(small);
  AddSource(*small);
  EXPECT_TRUE(Completed());
  EXPECT_GE(small->CountReceived(0xE3, Protocol::kOpRequestParts), 1u);
}

}  // namespace
}  // namespace P2P
