#include <gtest/gtest.h>

#include <string>

#include "engine/download/DownloadMetadata.h"

namespace P2P::Shared::File::TransferFile {
namespace {

_tagStructDownloadMetadata Sample() {
  _tagStructDownloadMetadata metadata;
  metadata.hash = *_tagUnionHash::FromHex("0123456789abcdef0123456789ABCDEF");
  metadata.info.name = "film.avi";
  metadata.info.size = 1000;
  metadata.info.type = "Video";
  metadata.info.mediaBitrate = 128;
  metadata.required.Add(0, 100);
  metadata.required.Add(500, 1000);
  return metadata;
}

TEST(DownloadMetadataTest, LayoutByteForByte) {
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
      "<DownloadFile>\n"
      "\t<HHASH>0123456789ABCDEF0123456789ABCDEF</HHASH>\n"
      "\t<FileName>film.avi</FileName>\n"
      "\t<FileSize>1000</FileSize>\n"
      "\t<FileType>Video</FileType>\n"
      "\t<MediaBitrates>128</MediaBitrates>\n"
      "\t<EmptyBlockList>\n"
      "\t\t<Block>\n\t\t\t<StartPos>0</StartPos>\n\t\t\t<EndPos>100</EndPos>\n\t\t</Block>\n"
      "\t\t<Block>\n\t\t\t<StartPos>500</StartPos>\n\t\t\t<EndPos>1000</EndPos>\n\t\t</Block>\n"
      "\t</EmptyBlockList>\n"
      "</DownloadFile>";
  EXPECT_EQ(WriteDownloadMetadataText(Sample()), expected);
}

TEST(DownloadMetadataTest, NothingRequiredMeansNoBlockList) {
  _tagStructDownloadMetadata metadata = Sample();
  metadata.required.Clear();
  const std::string text = WriteDownloadMetadataText(metadata);
  EXPECT_EQ(text.find("EmptyBlockList"), std::string::npos);
  const auto read = ReadDownloadMetadataText(text);
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->required.Empty());
}

TEST(DownloadMetadataTest, ReadsBackWhatItWritesInAnyCaseAndOrder) {
  const auto read = ReadDownloadMetadataText(WriteDownloadMetadataText(Sample()));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->hash, Sample().hash);
  EXPECT_EQ(read->info, Sample().info);
  ASSERT_EQ(read->required.Size(), 2u);
  EXPECT_EQ(read->required[1], (_tagStructBlockPart{500, 1000}));

  const auto mixed = ReadDownloadMetadataText(
      "<DownloadFile><filesize>10</filesize><emptyblocklist><block StartPos=\"2\"><ENDPOS>5"
      "</ENDPOS></block></emptyblocklist><hhash>0123456789abcdef0123456789abcdef</hhash>"
      "</DownloadFile>");
  ASSERT_TRUE(mixed);
  EXPECT_EQ(mixed->info.size, 10u);
  ASSERT_EQ(mixed->required.Size(), 1u);
  EXPECT_EQ(mixed->required[0], (_tagStructBlockPart{2, 5}));
}

struct BrokenCase {
  std::string name;
  std::string text;
};

class DownloadMetadataBrokenTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(DownloadMetadataBrokenTest, IsRefused) {
  EXPECT_FALSE(ReadDownloadMetadataText(GetParam().text).has_value());
}

const std::string kHash = "<HHASH>0123456789ABCDEF0123456789ABCDEF</HHASH>";

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadMetadataBrokenTest,
    ::testing::Values(
        BrokenCase{"NotXml", "this is not xml"},
        BrokenCase{"Truncated", WriteDownloadMetadataText(Sample()).substr(0, 150)},
        BrokenCase{"OtherRoot",
                   "<SharedFileList>" + kHash + "<FileSize>5</FileSize></SharedFileList>"},
        BrokenCase{"NoHash", "<DownloadFile><FileSize>5</FileSize></DownloadFile>"},
        BrokenCase{"BadHash",
                   "<DownloadFile><HHASH>12</HHASH><FileSize>5</FileSize></DownloadFile>"},
        BrokenCase{"NoSize", "<DownloadFile>" + kHash + "</DownloadFile>"},
        BrokenCase{"SizeZero", "<DownloadFile>" + kHash + "<FileSize>0</FileSize></DownloadFile>"},
        BrokenCase{"SizeAboveLimit",
                   "<DownloadFile>" + kHash + "<FileSize>274877906945</FileSize></DownloadFile>"},
        BrokenCase{"SizeNotANumber",
                   "<DownloadFile>" + kHash + "<FileSize>-5</FileSize></DownloadFile>"},
        BrokenCase{"BitrateNotANumber", "<DownloadFile>" + kHash +
                                            "<FileSize>5</FileSize><MediaBitrates>fast"
                                            "</MediaBitrates></DownloadFile>"},
        BrokenCase{"RangeOutsideFile",
                   "<DownloadFile>" + kHash +
                       "<FileSize>100</FileSize><EmptyBlockList><Block><StartPos>50</StartPos>"
                       "<EndPos>101</EndPos></Block></EmptyBlockList></DownloadFile>"},
        BrokenCase{"OverlappingRanges",
                   "<DownloadFile>" + kHash +
                       "<FileSize>100</FileSize><EmptyBlockList><Block><StartPos>0</StartPos>"
                       "<EndPos>60</EndPos></Block><Block><StartPos>50</StartPos><EndPos>70"
                       "</EndPos></Block></EmptyBlockList></DownloadFile>"}),
    [](const ::testing::TestParamInfo<BrokenCase>& info) { return info.param.name; });

// Sizes and ranges beyond 32 bits are written as their full decimal values and read back.
TEST(DownloadMetadataTest, SizesAroundAndBeyond32BitsRoundTrip) {
  for (const uint64_t size :
       {uint64_t{4290048000}, uint64_t{4290048001}, uint64_t{0xFFFFFFFF}, uint64_t{1} << 32,
        (uint64_t{1} << 32) + 1, uint64_t{256} * 1024 * 1024 * 1024}) {
    _tagStructDownloadMetadata metadata = Sample();
    metadata.info.size = size;
    metadata.required.Clear();
    metadata.required.Add(size - 184321, size);
    const std::string text = WriteDownloadMetadataText(metadata);
    EXPECT_NE(text.find("<FileSize>" + std::to_string(size) + "</FileSize>"), std::string::npos);
    const auto read = ReadDownloadMetadataText(text);
    ASSERT_TRUE(read) << size;
    EXPECT_EQ(read->info.size, size);
    ASSERT_EQ(read->required.Size(), 1u);
    EXPECT_EQ(read->required[0], (_tagStructBlockPart{size - 184321, size}));
  }
}

TEST(DownloadMetadataTest, LargestSizeAndHostileNameAreTakenSafely) {
  const auto read = ReadDownloadMetadataText(
      "<DownloadFile>" + kHash +
      "<FileSize>4290048000</FileSize><FileName>../../etc/passwd</FileName></DownloadFile>");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->info.size, 4290048000u);
  EXPECT_EQ(read->info.name.find('/'), std::string::npos);
}

}  // namespace
}  // namespace P2P::Shared::File::TransferFile
