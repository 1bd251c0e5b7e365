#include <gtest/gtest.h>

#include <vector>

#include "engine/download/DownloadBlocks.h"
#include "engine/hashing/Digest.h"
#include "engine/hashing/FileHasher.h"
#include "engine/hashing/HashConstants.h"
#include "tests/engine/hashing/HashReference.h"
#include "tests/support/ManualClock.h"
#include "tests/support/Sandbox.h"

namespace P2P::Shared::File::TransferFile {
namespace {

using HASH::kAICHBlockSize;
using HASH::kPartSize;

class CMemoryStorage : public ITARNNetPartStorage {
 public:
  explicit CMemoryStorage(uint32_t size) : bytes_(size) {}
  bool WriteBlock(uint64_t offset, std::span<const uint8_t> data) override {
    std::copy(data.begin(), data.end(), bytes_.begin() + offset);
    return true;
  }
  bool DigestRange(uint64_t start, uint32_t length, HASH::CMD4Digest& md4) override {
    md4.Update(std::span<const uint8_t>(bytes_).subspan(start, length));
    ++reads_;
    return true;
  }
  bool Read(uint64_t start, uint64_t end, std::vector<uint8_t>& data) override {
    data.assign(bytes_.begin() + start, bytes_.begin() + end);
    ++reads_;
    return true;
  }
  int Reads() const { return reads_; }

 private:
  std::vector<uint8_t> bytes_;
  int reads_ = 0;
};

// The block bookkeeping is used under its file's lock; each test holds it throughout.
class DownloadBlocksTest : public ::testing::Test {
 protected:
  ~DownloadBlocksTest() override {
    if (file_) file_->Unlock();
  }
  void MakeFile(uint32_t size) {
    content_ = tarn::test::PseudoRandomBytes(size, size);
    file_ = CTransferFilePtr(new CTARNNetTransferFile());
    file_->Lock();
    file_->SetSize(size);
    file_->SetHash(HASH::MD4Of(content_));
    file_->HashSet().Reset(size);
    blocks_ = std::make_unique<CTARNNetDownloadBlocks>(*file_);
    blocks_->Reset();
    storage_ = std::make_unique<CMemoryStorage>(size);
  }
  std::span<const uint8_t> Block(uint32_t start, uint32_t end) const {
    return std::span<const uint8_t>(content_).subspan(start, end - start);
  }
  _tagStructBlockOutcome Deliver(uint32_t start, uint32_t end, bool damaged = false) {
    std::vector<uint8_t> data(Block(start, end).begin(), Block(start, end).end());
    if (damaged) data[data.size() / 2] ^= 0xFF;
    return blocks_->AcceptBlock(start, data, *storage_);
  }
  // Asks for up to three blocks as a source holding every part, and returns them.
  _tagStructRequestRecord Ask() {
    const std::vector<uint8_t> all(file_->PartCount(), 1);
    _tagStructRequestRecord request;
    blocks_->ChooseBlocks(all, request, 3);
    return request;
  }
  // Hashes the content as a sharing peer would and returns its hash set (status verified).
  HASH::CTARNNetFileHashSet PeerHashSet() {
    tarn::test::WriteBytes(sandbox_ / "peer", content_);
    HASH::_tagStructHashingOptions options;
    options.pauseMilliseconds = 0;
    HASH::CTARNNetFileHasher hasher(options);
    HASH::CTARNNetFileHashSet set;
    _tagUnionHash hash;
    EXPECT_TRUE(hasher.HashFile(sandbox_ / "peer", set, hash));
    return set;
  }

  tarn::test::Sandbox sandbox_;
  std::vector<uint8_t> content_;
  CTransferFilePtr file_;
  std::unique_ptr<CTARNNetDownloadBlocks> blocks_;
  std::unique_ptr<CMemoryStorage> storage_;
};

TEST_F(DownloadBlocksTest, NothingIsChosenWhenTheSourceOnlyHasCompleteParts) {
  MakeFile(2 * kPartSize);
  file_->CompletionBitmap() = {1, 1};
  _tagStructRequestRecord request;
  EXPECT_EQ(blocks_->ChooseBlocks(std::vector<uint8_t>{1, 1}, request, 3), 0u);
  EXPECT_TRUE(request.IsEmpty());
  // Nor from a part the source lacks.
  file_->CompletionBitmap() = {1, 0};
  EXPECT_EQ(blocks_->ChooseBlocks(std::vector<uint8_t>{1, 0}, request, 3), 0u);
  EXPECT_EQ(blocks_->ChooseBlocks(std::vector<uint8_t>{1, 1}, request, 3), 3u);
  EXPECT_EQ(request.start[0], kPartSize);
}

TEST_F(DownloadBlocksTest, BlocksAlreadyRequestedAreAskedAgainWhenNothingElseIsLeft) {
  MakeFile(3 * kAICHBlockSize - 5);
  const _tagStructRequestRecord first = Ask();
  EXPECT_EQ(first.end[2], 3 * kAICHBlockSize - 5);  // the last block is cut at the file's end
  EXPECT_EQ(blocks_->Requested().Size(), 3u);
  const _tagStructRequestRecord second = Ask();
  EXPECT_EQ(second, first);
  EXPECT_EQ(blocks_->Requested().Size(), 3u);

  // Never twice from the same source: what it was asked for already is left out.
  const std::vector<uint8_t> all(1, 1);
  const std::vector<std::pair<uint64_t, uint64_t>> askedOfIt{
      {0, kAICHBlockSize}, {2 * kAICHBlockSize, 3 * kAICHBlockSize - 5}};
  _tagStructRequestRecord third;
  ASSERT_EQ(blocks_->ChooseBlocks(all, third, 3, askedOfIt), 1u);
  EXPECT_EQ(third.start[0], kAICHBlockSize);
  const std::vector<std::pair<uint64_t, uint64_t>> askedEverything{{0, 3 * kAICHBlockSize}};
  EXPECT_EQ(blocks_->ChooseBlocks(all, third, 3, askedEverything), 0u);

  blocks_->ForgetRequest(first);
  EXPECT_TRUE(blocks_->Requested().Empty());
  // Free blocks too: one this source sent in its slot (and that is required again) is not
  // asked of it, for it would not send it twice in a slot.
  const std::vector<std::pair<uint64_t, uint64_t>> sentInSlot{{0, kAICHBlockSize + 1}};
  _tagStructRequestRecord fresh;
  ASSERT_EQ(blocks_->ChooseBlocks(all, fresh, 3, sentInSlot), 1u);
  EXPECT_EQ(fresh.start[0], 2 * kAICHBlockSize);
}

TEST_F(DownloadBlocksTest, RarestPartsComeFirstAndEqualCountsKeepTheirOrder) {
  MakeFile(3 * kPartSize);
  CTARNNetPartFrequencyList& frequency = blocks_->Frequency();
  ASSERT_TRUE(frequency.AddSource(std::vector<uint8_t>{1, 1, 1}));
  ASSERT_TRUE(frequency.AddSource(std::vector<uint8_t>{1, 0, 1}));
  EXPECT_FALSE(frequency.AddSource(std::vector<uint8_t>{1, 1}));  // wrong length: ignored
  auto order = [&] {
    std::vector<int> parts;
    for (const auto& entry : frequency.Entries()) parts.push_back(entry.part);
    return parts;
  };
  EXPECT_EQ(order(), (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(Ask().start[0], kPartSize);

  frequency.SetCount(0, CTARNNetPartFrequencyList::kPinned);
  EXPECT_EQ(order(), (std::vector<int>{1, 2, 0}));
  ASSERT_TRUE(frequency.AddSource(std::vector<uint8_t>{1, 1, 1}));  // pinned count stays
  EXPECT_EQ(frequency.Entries().back().count, CTARNNetPartFrequencyList::kPinned);
  ASSERT_TRUE(frequency.RemoveSource(std::vector<uint8_t>{1, 1, 1}));
  ASSERT_TRUE(frequency.RemoveSource(std::vector<uint8_t>{1, 0, 1}));
  EXPECT_EQ(order(), (std::vector<int>{1, 2, 0}));  // 0, 0, pinned: ties keep their order
}

TEST_F(DownloadBlocksTest, APartThatFailsItsMD4IsDownloadedAgainWhole) {
  MakeFile(3 * kAICHBlockSize - 5);
  const uint32_t size = file_->GetSize();
  Ask();
  Deliver(0, kAICHBlockSize);
  Deliver(kAICHBlockSize, 2 * kAICHBlockSize, true);
  const auto outcome = Deliver(2 * kAICHBlockSize, size);
  EXPECT_TRUE(outcome.partCompleted);
  EXPECT_EQ(outcome.partCheck, EPartCheck::kFailed);
  EXPECT_FALSE(outcome.finished);
  EXPECT_EQ(blocks_->Required().Total(), size);
  EXPECT_EQ(blocks_->Required().Size(), 3u);
  EXPECT_EQ(blocks_->Untrusted().Size(), 0u);

  Ask();
  Deliver(0, kAICHBlockSize);
  Deliver(kAICHBlockSize, 2 * kAICHBlockSize);
  const auto again = Deliver(2 * kAICHBlockSize, size);
  EXPECT_EQ(again.partCheck, EPartCheck::kVerified);
  EXPECT_TRUE(again.finished);
  EXPECT_EQ(file_->CompletionBitmap(), std::vector<uint8_t>{1});
}

TEST_F(DownloadBlocksTest, ABlockContradictingATrustedTreeIsDropped) {
  MakeFile(2 * kAICHBlockSize);
  HASH::CTARNNetFileHashSet peer = PeerHashSet();
  const HASH::_tagStructAICHHash root = peer.Tree().Root().hash;
  file_->HashSet().Tree() = std::move(peer.Tree());
  file_->HashSet().SetRootHash(root, HASH::CTARNNetFileHashSet::kStatusTrusted);
  Ask();
  EXPECT_FALSE(Deliver(0, kAICHBlockSize, true).stored);
  EXPECT_TRUE(blocks_->Required().Contains(0, kAICHBlockSize));
  EXPECT_TRUE(blocks_->Requested().Contains(0, kAICHBlockSize));
  EXPECT_FALSE(blocks_->AcceptBlock(0, std::vector<uint8_t>(kAICHBlockSize + 1), *storage_).stored);

  EXPECT_TRUE(Deliver(0, kAICHBlockSize).stored);
  const auto last = Deliver(kAICHBlockSize, 2 * kAICHBlockSize);
  EXPECT_EQ(last.partCheck, EPartCheck::kVerified);
  EXPECT_EQ(blocks_->Untrusted().Size(), 0u);  // checked on arrival, nothing left to prove
}

TEST_F(DownloadBlocksTest, RecoveryDataRepairsOnlyTheDamagedBlock) {
  MakeFile(kPartSize + 3 * kAICHBlockSize);
  HASH::CTARNNetFileHashSet peer = PeerHashSet();
  std::vector<uint8_t> recovery;
  Protocol::CStreamWriter writer(recovery);
  ASSERT_TRUE(peer.CreateRecoveryData(1, writer));
  // Only the root is known here: blocks arrive unproven.
  file_->HashSet().SetRootHash(peer.Tree().Root().hash, HASH::CTARNNetFileHashSet::kStatusTrusted);
  const uint32_t part1 = kPartSize;
  const std::vector<uint8_t> secondPartOnly{0, 1};
  _tagStructRequestRecord request;
  ASSERT_EQ(blocks_->ChooseBlocks(secondPartOnly, request, 3), 3u);
  Deliver(part1, part1 + kAICHBlockSize);
  Deliver(part1 + kAICHBlockSize, part1 + 2 * kAICHBlockSize, true);
  EXPECT_EQ(blocks_->Untrusted().Size(), 2u);

  Protocol::CStreamReader reader(recovery);
  ASSERT_TRUE(file_->HashSet().ApplyRecoveryData(1, reader));
  const auto outcome = Deliver(part1 + 2 * kAICHBlockSize, part1 + 3 * kAICHBlockSize);
  EXPECT_EQ(outcome.partCheck, EPartCheck::kFailed);
  ASSERT_EQ(blocks_->Required().Size(), 2u);  // the first part, and the one bad block
  EXPECT_TRUE(blocks_->Required().Contains(part1 + kAICHBlockSize, part1 + 2 * kAICHBlockSize));
  EXPECT_EQ(blocks_->Required().Total(), kPartSize + kAICHBlockSize);

  ASSERT_EQ(blocks_->ChooseBlocks(secondPartOnly, request, 3), 1u);
  EXPECT_EQ(Deliver(part1 + kAICHBlockSize, part1 + 2 * kAICHBlockSize).partCheck,
            EPartCheck::kVerified);
  EXPECT_EQ(file_->CompletionBitmap(), (std::vector<uint8_t>{0, 1}));

  // The same data once more, for a part already verified, is taken without complaint.
  Protocol::CStreamReader again(recovery);
  EXPECT_TRUE(file_->HashSet().ApplyRecoveryData(1, again));
  EXPECT_TRUE(again.AtEnd());
}

TEST_F(DownloadBlocksTest, APartWithoutRecoveryDataWithinTheWaitIsFetchedAgainWhole) {
  tarn::test::ManualClock clock;
  MakeFile(kPartSize + 3 * kAICHBlockSize);
  HASH::CTARNNetFileHashSet peer = PeerHashSet();
  file_->HashSet().HashList() = peer.HashList();
  file_->HashSet().SetRootHash(peer.Tree().Root().hash, HASH::CTARNNetFileHashSet::kStatusTrusted);
  const uint32_t part1 = kPartSize;
  const uint32_t part1End = kPartSize + 3 * kAICHBlockSize;
  _tagStructRequestRecord request;
  ASSERT_EQ(blocks_->ChooseBlocks(std::vector<uint8_t>{0, 1}, request, 3), 3u);
  Deliver(part1, part1 + kAICHBlockSize);
  Deliver(part1 + kAICHBlockSize, part1 + 2 * kAICHBlockSize, true);
  EXPECT_EQ(Deliver(part1 + 2 * kAICHBlockSize, part1End).partCheck, EPartCheck::kUndecided);
  EXPECT_TRUE(blocks_->AwaitsRecovery(1));

  clock.Advance(CTARNNetDownloadBlocks::kRecoveryWait - 1);
  EXPECT_EQ(blocks_->VerifyPart(1, *storage_), EPartCheck::kUndecided);
  clock.Advance(1);
  EXPECT_EQ(blocks_->VerifyPart(1, *storage_), EPartCheck::kFailed);
  EXPECT_FALSE(blocks_->AwaitsRecovery(1));
  EXPECT_EQ(blocks_->Required().Total(), part1End);  // part 0 as before, and all of part 1
  EXPECT_FALSE(blocks_->Untrusted().AnyWithin(part1, part1End));
}

TEST_F(DownloadBlocksTest, AMultiPartFileWaitsForItsHashSet) {
  MakeFile(kPartSize + 10);
  const std::vector<uint8_t> lastPart{0, 1};
  _tagStructRequestRecord request;
  ASSERT_EQ(blocks_->ChooseBlocks(lastPart, request, 3), 1u);
  EXPECT_EQ(Deliver(kPartSize, kPartSize + 10).partCheck, EPartCheck::kUndecided);
  EXPECT_EQ(blocks_->Untrusted().Size(), 1u);

  HASH::CTARNNetFileHashSet peer = PeerHashSet();
  file_->HashSet().HashList() = peer.HashList();
  EXPECT_EQ(blocks_->VerifyPart(1, *storage_), EPartCheck::kVerified);
}

}  // namespace
}  // namespace P2P::Shared::File::TransferFile
