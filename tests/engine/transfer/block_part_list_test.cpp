#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "engine/transfer/BlockPartList.h"
#include "engine/transfer/RequestRecord.h"
#include "engine/transfer/TransferBlock.h"
#include "tests/engine/hashing/HashReference.h"
#include "tests/support/CaseName.h"

namespace P2P::Shared::File::TransferFile {
namespace {

std::vector<_tagStructBlockPart> Parts(const CTARNNetBlockPartList& list) {
  return {list.begin(), list.end()};
}

struct RemovalCase {
  const char* name;
  std::vector<_tagStructBlockPart> before;
  _tagStructBlockPart removed;
  std::vector<_tagStructBlockPart> after;
};

class RangeRemovalTest : public ::testing::TestWithParam<RemovalCase> {};

TEST_P(RangeRemovalTest, CutsTheCoveringElement) {
  CTARNNetBlockPartList list;
  for (const auto& part : GetParam().before) list.Add(part);
  list.Remove(GetParam().removed.start, GetParam().removed.end);
  EXPECT_EQ(Parts(list), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RangeRemovalTest,
    ::testing::Values(
        RemovalCase{"Middle", {{0, 100}}, {10, 20}, {{0, 10}, {20, 100}}},
        RemovalCase{"Front", {{0, 100}}, {0, 10}, {{10, 100}}},
        RemovalCase{"Back", {{0, 100}}, {90, 100}, {{0, 90}}},
        RemovalCase{"Whole", {{0, 100}}, {0, 100}, {}},
        RemovalCase{"OutsideEveryElement", {{0, 10}, {20, 30}}, {40, 50}, {{0, 10}, {20, 30}}},
        // A range over two elements cuts both rather than leaving bytes required
        // that already arrived.
        RemovalCase{"AcrossTwoElements", {{0, 10}, {20, 30}}, {5, 25}, {{0, 5}, {25, 30}}}),
    tarn::test::NameField());

TEST(BlockPartListTest, AddAndContainRules) {
  CTARNNetBlockPartList plain;
  plain.Add(20, 30);
  plain.Add(0, 10);
  plain.Add(0, 10);  // the plain list keeps duplicates
  EXPECT_EQ(Parts(plain), (std::vector<_tagStructBlockPart>{{0, 10}, {0, 10}, {20, 30}}));
  EXPECT_TRUE(plain.Contains(22, 30));
  EXPECT_FALSE(plain.Contains(5, 25));
  EXPECT_EQ(plain.Total(), 30u);

  CTARNNetRequireBlockPartList required;
  EXPECT_TRUE(required.Add(0, 100));
  EXPECT_FALSE(required.Add(10, 20));
  EXPECT_FALSE(required.Add(5, 5));
  EXPECT_EQ(required.Size(), 1u);
}

TEST(BlockPartListTest, BlockElementsRoundTripAndEmptyRangesAreIgnored) {
  CTARNNetBlockPartList list;
  list.Add(0, 184320);
  list.Add(9728000, 9800000);
  OSTREL::File::CXmlDocument document("DownloadFile");
  OSTREL::File::CXmlElement holder = document.Root().AppendElement("Required");
  list.WriteBlocks(holder);
  EXPECT_NE(
      document.ToText().find("\n\t\t<Block>\n\t\t\t<StartPos>0</StartPos>\n\t\t\t<EndPos>184320"
                             "</EndPos>\n\t\t</Block>"),
      std::string::npos);

  CTARNNetBlockPartList read;
  read.ReadBlocks(holder);
  EXPECT_EQ(Parts(read), Parts(list));

  OSTREL::File::CXmlDocument other;
  ASSERT_TRUE(
      other.LoadText(R"(<R><Block StartPos="100" EndPos="100"/><Block StartPos="5">)"
                     R"(<EndPos>9</EndPos></Block><Block><StartPos>x</StartPos></Block></R>)"));
  CTARNNetBlockPartList mixed;
  mixed.ReadBlocks(other.Root());
  EXPECT_EQ(Parts(mixed), (std::vector<_tagStructBlockPart>{{5, 9}}));
}

// Writes `request` in the 32-bit or the 64-bit form: true when the bytes read back equal and
// one byte fewer does not. `written` gets the byte count (0 when writing failed).
bool RoundTrips(const _tagStructRequestRecord& request, bool wide, size_t& written) {
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter writer(bytes);
  const bool wrote = wide ? request.WriteWide(writer) : request.Write(writer);
  written = bytes.size();
  if (!wrote || bytes.empty()) return false;
  const auto read = [wide](Protocol::CStreamReader& reader, _tagStructRequestRecord& into) {
    return wide ? into.ReadWide(reader) : into.Read(reader);
  };
  _tagStructRequestRecord whole, cut;
  Protocol::CStreamReader reader(bytes);
  Protocol::CStreamReader shortReader(std::span<const uint8_t>(bytes).first(bytes.size() - 1));
  return read(reader, whole) && whole == request && !read(shortReader, cut);
}

TEST(RequestRecordTest, PairsAgainstPartsAndLists) {
  CTARNNetBlockPartList list;
  list.Add(0, 100);
  list.Add(9728000, 9728100);
  _tagStructRequestRecord request;
  request.FillFrom(list);
  EXPECT_TRUE(request.Contains(10, 20));
  EXPECT_FALSE(request.Contains(90, 110));
  EXPECT_TRUE(request.InAvailableParts(std::vector<uint8_t>{1, 1}));
  EXPECT_FALSE(request.InAvailableParts(std::vector<uint8_t>{1, 0}));
  EXPECT_FALSE(request.InAvailableParts(std::vector<uint8_t>{1}));

  size_t written = 0;
  EXPECT_TRUE(RoundTrips(request, false, written));
  EXPECT_EQ(written, 24u);
}

// Ranges and requests beyond 32 bits: the 64-bit form carries every size up to 256 GiB, the
// 32-bit form refuses what it cannot carry rather than cutting it, and range elements keep
// their full values.
TEST(RequestRecordTest, OffsetsAroundAndBeyond32Bits) {
  for (const uint64_t size : {uint64_t{4290048000}, uint64_t{4290048001}, uint64_t{0xFFFFFFFF},
                              uint64_t{1} << 32, (uint64_t{1} << 32) + 1, uint64_t{256} << 30}) {
    CTARNNetBlockPartList list;
    list.Add(0, 184320);
    list.Add(size - 184320, size);
    _tagStructRequestRecord request;
    request.FillFrom(list);
    size_t written = 0;
    EXPECT_TRUE(RoundTrips(request, true, written)) << size;
    EXPECT_EQ(written, 48u);
    EXPECT_EQ(RoundTrips(request, false, written), size <= 0xFFFFFFFF) << size;
    EXPECT_EQ(written, size <= 0xFFFFFFFF ? 24u : 0u) << size;

    OSTREL::File::CXmlDocument document("DownloadFile");
    list.WriteBlocks(document.Root());
    CTARNNetBlockPartList again;
    again.ReadBlocks(document.Root());
    EXPECT_EQ(Parts(again), Parts(list)) << size;
  }
}

std::vector<uint8_t> Pack(const std::vector<uint8_t>& data) {
  uLongf size = compressBound(data.size());
  std::vector<uint8_t> packed(size);
  compress(packed.data(), &size, data.data(), data.size());
  packed.resize(size);
  return packed;
}

TEST(TransferBlockTest, PlainDataMustContinueAndFit) {
  CTARNNetTransferBlock block(1000, 1010);
  const std::vector<uint8_t> five(5, 7);
  EXPECT_FALSE(block.AppendPlain(1001, five));
  EXPECT_TRUE(block.AppendPlain(1000, five));
  EXPECT_FALSE(block.AppendPlain(1005, std::vector<uint8_t>(6)));
  EXPECT_TRUE(block.AppendPlain(1005, five));
  EXPECT_TRUE(block.IsComplete());
  EXPECT_FALSE(CTARNNetTransferBlock(0, 184321).Valid());
}

TEST(TransferBlockTest, PackedDataInflatesInPiecesAndNeverPastTheBlock) {
  const auto data = tarn::test::PseudoRandomBytes(184320, 3);
  const auto packed = Pack(data);
  CTARNNetTransferBlock block(184320, 368640);
  EXPECT_FALSE(block.AppendPacked(0, packed));
  const size_t half = packed.size() / 2;
  EXPECT_TRUE(block.AppendPacked(184320, std::span(packed).first(half)));
  EXPECT_TRUE(block.AppendPacked(184320, std::span(packed).subspan(half)));
  ASSERT_TRUE(block.IsComplete());
  EXPECT_TRUE(std::equal(data.begin(), data.end(), block.Data().begin()));

  // A stream holding more than the block asked for is refused, not written past the buffer.
  std::vector<uint8_t> longer(200000, 1);
  CTARNNetTransferBlock small(0, 184320);
  EXPECT_FALSE(small.AppendPacked(0, Pack(longer)));
  EXPECT_FALSE(small.IsComplete());

  CTARNNetTransferBlock garbage(0, 100);
  EXPECT_FALSE(garbage.AppendPacked(0, std::vector<uint8_t>(50, 0xAB)));
}

TEST(TransferBlockListTest, CoveredBlocksAreRefusedAndRequestsClearThem) {
  CTARNNetTransferBlockList blocks;
  ASSERT_NE(blocks.Add(0, 100), nullptr);
  EXPECT_EQ(blocks.Add(10, 20), nullptr);
  ASSERT_NE(blocks.Add(200, 300), nullptr);
  _tagStructRequestRecord request;
  request.start[0] = 200;
  request.end[0] = 300;
  request.RemoveCoveringFrom(blocks);
  EXPECT_EQ(blocks.Size(), 1u);
  EXPECT_TRUE(blocks.Contains(0, 100));
}

}  // namespace
}  // namespace P2P::Shared::File::TransferFile
