#include <gtest/gtest.h>

#include <list>
#include <vector>

#include "engine/hashing/AICHTree.h"
#include "engine/hashing/Digest.h"
#include "engine/hashing/FileHashSet.h"
#include "engine/hashing/FileHasher.h"
#include "engine/hashing/HashConstants.h"
#include "engine/library/AICHDatStore.h"
#include "tests/engine/hashing/HashReference.h"
#include "tests/support/Sandbox.h"

namespace P2P::HASH {
namespace {

TEST(AICHTreeTest, NodeGeometryAndIds) {
  // Six blocks: the root puts three left and three right; the right child rounds down.
  CTARNNetAICHTree tree(6 * kAICHBlockSize);
  auto& root = tree.Root();
  EXPECT_EQ(root.id, 1);
  EXPECT_EQ(root.base, kAICHBlockSize);
  _tagStructAICHNode* left = root.FindNode(0, 3 * kAICHBlockSize, true);
  _tagStructAICHNode* right = root.FindNode(3 * kAICHBlockSize, 3 * kAICHBlockSize, true);
  ASSERT_TRUE(left && right);
  EXPECT_EQ(left->id, 3);
  EXPECT_EQ(right->id, 2);
  _tagStructAICHNode* rightLeft = root.FindNode(3 * kAICHBlockSize, kAICHBlockSize, true);
  ASSERT_TRUE(rightLeft);
  EXPECT_EQ(rightLeft->id, 5);
  EXPECT_EQ(rightLeft->parent, right);
  // A left child of three blocks puts two left, a right child of three puts one left.
  EXPECT_TRUE(root.FindNode(0, 2 * kAICHBlockSize, true));
  EXPECT_FALSE(root.FindNode(kAICHBlockSize, 2 * kAICHBlockSize, true)) << "crosses a split";
  EXPECT_TRUE(root.FindNode(4 * kAICHBlockSize, 2 * kAICHBlockSize, true));
  EXPECT_FALSE(root.FindNode(5 * kAICHBlockSize, kAICHBlockSize + 1, true)) << "past the end";
  EXPECT_FALSE(root.FindNode(0, 100, true)) << "inside a leaf";

  // One byte over a part: the root splits by parts, the first part by blocks.
  CTARNNetAICHTree twoParts(kPartSize + 1);
  EXPECT_EQ(twoParts.Root().base, kPartSize);
  const auto* firstPart = twoParts.Root().FindNode(0, kPartSize, true);
  ASSERT_TRUE(firstPart);
  EXPECT_EQ(firstPart->base, kAICHBlockSize);
  EXPECT_TRUE(twoParts.Root().FindNode(kPartSize, 1, true));
}

// One hashed file of three parts (the last one short) shared by the recovery tests.
class AICHRecoveryTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kSize = 2 * kPartSize + 400000;

  static void SetUpTestSuite() {
    tarn::test::Sandbox sandbox;
    data_ = new std::vector<uint8_t>(tarn::test::PseudoRandomBytes(kSize, 42));
    tarn::test::WriteBytes(sandbox / "file", *data_);
    _tagStructHashingOptions options;
    options.pauseMilliseconds = 0;
    source_ = new CTARNNetFileHashSet;
    _tagUnionHash fileHash;
    ASSERT_TRUE(CTARNNetFileHasher(options).HashFile(sandbox / "file", *source_, fileHash));
  }
  static void TearDownTestSuite() {
    delete data_;
    delete source_;
  }

  void SetUp() override {
    receiver_.Reset(kSize);
    receiver_.SetRootHash(*source_->GetRootHash(), CTARNNetFileHashSet::kStatusTrusted);
  }

  static std::vector<uint8_t> Recovery(uint32_t part) {
    std::vector<uint8_t> bytes;
    Protocol::CStreamWriter writer(bytes);
    EXPECT_TRUE(source_->CreateRecoveryData(part, writer));
    return bytes;
  }

  bool Apply(uint32_t part, const std::vector<uint8_t>& bytes) {
    Protocol::CStreamReader reader(bytes);
    return receiver_.ApplyRecoveryData(part, reader);
  }

  bool PartVerified(uint32_t part) const {
    return receiver_.IsRangeVerified(PartStart(part), PartStart(part) + PartLength(kSize, part));
  }

  static std::vector<uint8_t>* data_;
  static CTARNNetFileHashSet* source_;
  CTARNNetFileHashSet receiver_;
};

std::vector<uint8_t>* AICHRecoveryTest::data_ = nullptr;
CTARNNetFileHashSet* AICHRecoveryTest::source_ = nullptr;

TEST_F(AICHRecoveryTest, CountsLevelsAndBlocks) {
  EXPECT_EQ(source_->Tree().RecoveryCount(0), 2u + 53u);
  EXPECT_EQ(source_->Tree().RecoveryCount(1), 2u + 53u);
  EXPECT_EQ(source_->Tree().RecoveryCount(2), 1u + 3u);
  EXPECT_FALSE(source_->Tree().RecoveryCount(3));
  EXPECT_EQ(Recovery(2).size(), 2u + 4u * CTARNNetAICHTree::kRecoveryEntrySize);
}

TEST_F(AICHRecoveryTest, RecoveryDataFindsTheDamagedBlock) {
  ASSERT_TRUE(Apply(1, Recovery(1)));
  EXPECT_TRUE(PartVerified(1));
  EXPECT_FALSE(PartVerified(0));

  std::vector<uint8_t> received(data_->begin() + kPartSize, data_->begin() + 2 * kPartSize);
  received[7 * kAICHBlockSize + 99] ^= 0x40;
  std::vector<uint32_t> badBlocks;
  for (uint32_t offset = 0; offset < kPartSize; offset += kAICHBlockSize) {
    const uint32_t length = std::min(kAICHBlockSize, kPartSize - offset);
    const auto* node = receiver_.Tree().FindRange(kPartSize + offset, length);
    ASSERT_NE(node, nullptr);
    if (!CheckSHA1(std::span(received).subspan(offset, length), node->hash))
      badBlocks.push_back(offset / kAICHBlockSize);
  }
  EXPECT_EQ(badBlocks, std::vector<uint32_t>{7});
}

TEST_F(AICHRecoveryTest, DataForAVerifiedPartIsConsumedAndAccepted) {
  const auto bytes = Recovery(2);
  ASSERT_TRUE(Apply(2, bytes));
  std::vector<uint8_t> twice = bytes;
  twice.insert(twice.end(), bytes.begin(), bytes.end());
  Protocol::CStreamReader reader(twice);
  EXPECT_TRUE(receiver_.ApplyRecoveryData(2, reader));
  EXPECT_TRUE(receiver_.ApplyRecoveryData(2, reader));
  EXPECT_TRUE(reader.AtEnd());
  ASSERT_TRUE(Apply(0, Recovery(0)));
  EXPECT_TRUE(PartVerified(0) && PartVerified(2));
  EXPECT_EQ(receiver_.FirstUnverifiedPart(), 1u);
}

TEST_F(AICHRecoveryTest, RejectsBadRecoveryData) {
  const auto good = Recovery(0);
  const size_t entry = CTARNNetAICHTree::kRecoveryEntrySize;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  auto withCount = good;
  withCount[0] += 1;
  cases.push_back({"count one too high", withCount});
  cases.push_back({"last byte missing", {good.begin(), good.end() - 1}});
  cases.push_back({"empty", {}});
  auto tampered = good;
  tampered[2 + 10 * entry + 5] ^= 1;
  cases.push_back({"a block hash altered", tampered});
  auto sibling = good;
  sibling[2 + 2] ^= 1;
  cases.push_back({"a sibling hash altered", sibling});
  auto duplicate = good;
  std::copy(good.begin() + 2 + 3 * entry, good.begin() + 2 + 4 * entry,
            duplicate.begin() + 2 + 4 * entry);
  cases.push_back({"one block named twice, another never", duplicate});
  auto badId = good;
  badId[2 + 5 * entry] = 0;
  badId[2 + 5 * entry + 1] = 0;
  cases.push_back({"id zero", badId});

  for (const auto& c : cases) {
    SetUp();
    EXPECT_FALSE(Apply(0, c.bytes)) << c.name;
    EXPECT_FALSE(receiver_.IsRangeVerified(0, kAICHBlockSize)) << c.name;
    ASSERT_NE(receiver_.GetRootHash(), nullptr) << c.name;
    EXPECT_EQ(*receiver_.GetRootHash(), *source_->GetRootHash()) << c.name;
  }
}

// Entries may not replace the trusted root: with the root replaced, made-up blocks for the
// last part (ids 5, 9 and 8 below its node, id 2) would check out against the real left half.
TEST_F(AICHRecoveryTest, RefusesToReplaceTheRoot) {
  ASSERT_TRUE(Apply(0, Recovery(0)));
  const auto* realLeft = receiver_.Tree().FindRange(0, 2 * kPartSize);
  ASSERT_TRUE(realLeft && realLeft->IsValid());
  _tagStructAICHHash blocks[3];
  for (uint8_t i = 0; i < 3; ++i) blocks[i].bytes.fill(i + 1);
  const auto fakePart = SHA1Of(blocks[0], SHA1Of(blocks[1], blocks[2]));
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter writer(bytes);
  writer.WriteUInt16(4);
  writer.WriteUInt16(1);
  writer.WriteBytes(SHA1Of(realLeft->hash, fakePart).bytes);
  const uint16_t ids[3] = {5, 9, 8};
  for (int i = 0; i < 3; ++i) {
    writer.WriteUInt16(ids[i]);
    writer.WriteBytes(blocks[i].bytes);
  }
  EXPECT_FALSE(Apply(2, bytes));
  EXPECT_EQ(*receiver_.GetRootHash(), *source_->GetRootHash());
  EXPECT_FALSE(PartVerified(2));
}

TEST_F(AICHRecoveryTest, CreatesOnlyFromAFullyVerifiedTree) {
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter writer(bytes);
  EXPECT_FALSE(receiver_.CreateRecoveryData(0, writer)) << "trusted root, nothing verified";
  EXPECT_FALSE(source_->CreateRecoveryData(3, writer)) << "no such part";
  std::vector<uint8_t> small;
  Protocol::CStreamWriter bounded(small, 40);
  EXPECT_FALSE(source_->CreateRecoveryData(0, bounded));
  EXPECT_TRUE(small.empty());
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(source_->GetStatus(), CTARNNetFileHashSet::kStatusVerified) << "bad requests keep it";

  // A verified status over a tree that lost its blocks cannot serve: AICH is off for the file.
  CTARNNetFileHashSet broken(kSize);
  broken.SetRootHash(*source_->GetRootHash(), CTARNNetFileHashSet::kStatusVerified);
  EXPECT_FALSE(broken.CreateRecoveryData(0, writer));
  EXPECT_EQ(broken.GetStatus(), CTARNNetFileHashSet::kStatusUnusable);
}

TEST_F(AICHRecoveryTest, ExportedNodesRebuildTheTree) {
  const auto nodes = source_->Tree().ExportStoredNodes();
  ASSERT_FALSE(nodes.empty());
  EXPECT_EQ(nodes.front().id, 1);
  EXPECT_EQ(nodes.size(), 1u + 53 + 53 + 3) << "the root and every block";

  CTARNNetAICHTree rebuilt;
  ASSERT_TRUE(rebuilt.ImportStoredNodes(kSize, nodes));
  EXPECT_EQ(rebuilt.Root().hash, *source_->GetRootHash());
  for (uint32_t part = 0; part < 3; ++part)
    EXPECT_TRUE(
        rebuilt.IsRangeVerified(PartStart(part), PartStart(part) + PartLength(kSize, part)));
  EXPECT_EQ(rebuilt.ExportStoredNodes(), nodes);

  auto altered = nodes;
  altered[20].hash.bytes[0] ^= 1;
  EXPECT_FALSE(rebuilt.ImportStoredNodes(kSize, altered));
  EXPECT_FALSE(rebuilt.IsRangeVerified(0, kPartSize));
}

// A tree of a 256 GiB file reaches 20 levels: node codes beyond 16 bits place and find their
// nodes, survive AICH.dat, and are never squeezed into the 16-bit codes of recovery data.
TEST(AICHTreeTest, TreesOfFilesAbove32BitsKeepTheirDeepNodes) {
  const uint64_t size = uint64_t{256} << 30;
  const uint64_t lastStart = PartStart(PartCount(size) - 1) + 5 * kAICHBlockSize;
  CTARNNetAICHTree tree(size);
  _tagStructAICHHash hash;
  hash.bytes.fill(7);
  ASSERT_TRUE(tree.SetRangeHash(lastStart, kAICHBlockSize, hash));
  const _tagStructAICHNode* leaf = tree.FindRange(lastStart, kAICHBlockSize);
  ASSERT_TRUE(leaf);
  EXPECT_GT(leaf->id, 0xFFFFu);
  // Every sibling on the way up gets a hash, so that the root follows and the leaf verifies.
  uint8_t fill = 20;
  size_t levels = 0;
  for (const _tagStructAICHNode* at = leaf; at->parent != nullptr; at = at->parent, ++levels) {
    _tagStructAICHNode* parent = at->parent;
    hash.bytes.fill(fill++);
    parent->Child(at == parent->left.get() ? kNodeRight : kNodeLeft, true)->SetHash(hash);
  }
  ASSERT_TRUE(tree.ComputeAndVerify());
  const auto nodes = tree.ExportStoredNodes();
  EXPECT_GT(levels, 16u);
  EXPECT_EQ(nodes.size(), 1 + 1 + levels) << "the root, the leaf and its siblings";

  CTARNNetAICHTree rebuilt;
  ASSERT_TRUE(rebuilt.ImportStoredNodes(size, nodes));
  EXPECT_TRUE(rebuilt.IsRangeVerified(lastStart, lastStart + kAICHBlockSize));
  EXPECT_EQ(rebuilt.ExportStoredNodes(), nodes);

  const std::list<Shared::File::_tagStructAICHDatEntry> stored = {{_tagUnionHash{}, nodes}};
  std::vector<Shared::File::_tagStructAICHDatEntry> read;
  ASSERT_TRUE(Shared::File::ReadAICHDatText(Shared::File::WriteAICHDatText(stored), read));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].nodes, nodes);

  std::vector<uint8_t> recovery;
  Protocol::CStreamWriter writer(recovery);
  EXPECT_FALSE(rebuilt.CreateRecoveryData(PartCount(size) - 1, writer));
}

TEST(FileHashSetTest, RootHashAndStatus) {
  CTARNNetFileHashSet hashSet(3 * kPartSize);
  EXPECT_EQ(hashSet.GetStatus(), CTARNNetFileHashSet::kStatusReset);
  EXPECT_EQ(hashSet.GetExpectedHashCount(), 4u);
  EXPECT_EQ(hashSet.GetRootHash(), nullptr);
  EXPECT_FALSE(hashSet.CompareRootHash(_tagStructAICHHash{}));

  hashSet.SetRootHash(_tagStructAICHHash{}, CTARNNetFileHashSet::kStatusTrusted);
  EXPECT_EQ(hashSet.GetRootHash(), nullptr) << "an all-zero root is no root";

  _tagStructAICHHash root;
  root.bytes.fill(7);
  hashSet.SetRootHash(root, CTARNNetFileHashSet::kStatusTrusted);
  EXPECT_TRUE(hashSet.CompareRootHash(root));
  hashSet.Tree().SetRangeHash(0, kPartSize, root);
  _tagStructAICHHash other = root;
  other.bytes[0] = 8;
  hashSet.SetRootHash(other, CTARNNetFileHashSet::kStatusTrusted);
  EXPECT_EQ(hashSet.Tree().FindRange(0, kPartSize), nullptr) << "hashes of the old root dropped";
  EXPECT_EQ(hashSet.FirstUnverifiedPart(), 0u);

  hashSet.Reset(0);
  EXPECT_EQ(hashSet.GetExpectedHashCount(), 0u);
  EXPECT_EQ(hashSet.GetStatus(), CTARNNetFileHashSet::kStatusReset);
}

}  // namespace
}  // namespace P2P::HASH
