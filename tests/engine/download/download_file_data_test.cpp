#include <gtest/gtest.h>

#include <filesystem>

#include "engine/download/DownloadFileData.h"
#include "engine/download/DownloadFileManager.h"
#include "engine/download/DownloadMetadata.h"
#include "engine/download/PartFileNames.h"
#include "engine/transfer/TransferFileList.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/support/ManualClock.h"
#include "tests/support/Sandbox.h"

namespace P2P::Shared::File::TransferFile {
namespace {

namespace fs = std::filesystem;
using tarn::test::PseudoRandomBytes;

class DownloadFileDataTest : public ::testing::Test {
 protected:
  DownloadFileDataTest() { fs::create_directories(temp_); }
  ~DownloadFileDataTest() override {
    if (data_) data_->Detach();
  }
  CTransferFilePtr Create(const std::vector<uint8_t>& content) {
    CTransferFilePtr file(new CTARNNetTransferFile(test::RecordFor(content, "f.bin")));
    data_ = CTARNNetDownloadFileData::Attach(file, nullptr);
    data_->SetEventSink(&events_);
    EXPECT_TRUE(file->Data()->Create(temp_.string(), nullptr));
    return file;
  }
  std::optional<_tagStructDownloadMetadata> Metadata() {
    return LoadDownloadMetadata(PartFilePaths(temp_, 0).metadata);
  }

  tarn::test::Sandbox sandbox_;
  fs::path temp_ = sandbox_ / "temp";
  CDownloadFileDataPtr data_;
  test::CDownloadEventLog events_;
};

TEST_F(DownloadFileDataTest, StatisticsSampleMeasuresSpeedAndReportsOnlyChanges) {
  tarn::test::ManualClock clock;
  const auto content = PseudoRandomBytes(1000000, 40);
  const CTransferFilePtr file = Create(content);
  clock.Advance(2000);
  test::AnswerOneRequest(*file, content);  // three blocks: 552960 bytes
  ASSERT_TRUE(file->Data()->StatisticsSample());
  EXPECT_EQ(events_.Lines(), std::vector<std::string>{"progress f.bin"});
  // The speed covers whole seconds, as the engine's totals do: the blocks count once their
  // second is over, and for ten seconds.
  clock.Advance(1000);
  file->Data()->StatisticsSample();
  EXPECT_EQ(file->Data()->Speed(), 552960u);
  clock.Advance(1000);
  file->Data()->StatisticsSample();
  EXPECT_EQ(file->Data()->Speed(), 552960u / 2);
  clock.Advance(9000);
  file->Data()->StatisticsSample();  // nothing arrived for ten seconds
  EXPECT_EQ(file->Data()->Speed(), 0u);
  const size_t lines = events_.Lines().size();
  file->Data()->StatisticsSample();  // nothing changed
  EXPECT_EQ(events_.Lines().size(), lines);
  EXPECT_TRUE(file->Data()->AddSource(0x0100007F, 4662, 0, 0));
  file->Data()->StatisticsSample();
  EXPECT_EQ(events_.Lines().size(), lines + 1);
}

TEST_F(DownloadFileDataTest, ByteCountsAloneNeverPassTheSize) {
  const auto content = PseudoRandomBytes(1000, 41);
  const CTransferFilePtr file = Create(content);
  EXPECT_TRUE(file->Data()->AcceptData({nullptr, 600}));
  EXPECT_EQ(file->Data()->CompletedBytes(), 600u);
  EXPECT_EQ(file->Data()->ReceivedBytes(), 600u);
  file->Data()->AcceptData({nullptr, 600});  // would pass the size: taken from the required list
  EXPECT_EQ(file->Data()->CompletedBytes(), 0u);
  EXPECT_EQ(file->Data()->ReceivedBytes(), 1200u);
}

// A part whose data is all in but whose hash has not arrived is not recorded as done: a
// restart fetches it again instead of trusting it unchecked. Once the hash set is there, the
// next statistics sample checks it and records it.
TEST_F(DownloadFileDataTest, UncheckedPartsAreNotRecordedAsDone) {
  const auto content = PseudoRandomBytes(HASH::kPartSize + 5000, 42);
  const CTransferFilePtr file = Create(content);
  while (file->Data()->RemainingBytes() > 5000) test::AnswerOneRequest(*file, content);
  ASSERT_EQ(file->Data()->RemainingBytes(), 5000u);
  ASSERT_TRUE(file->Data()->Save());
  auto metadata = Metadata();
  ASSERT_TRUE(metadata);
  EXPECT_TRUE(metadata->required.Contains(0, HASH::kPartSize));

  test::GivePartHashes(*file, content);
  file->Data()->StatisticsSample();
  metadata = Metadata();
  ASSERT_TRUE(metadata);
  EXPECT_FALSE(metadata->required.Overlaps(0, HASH::kPartSize));
  ASSERT_EQ(file->CompletionBitmap().size(), 2u);
  EXPECT_EQ(file->CompletionBitmap()[0], 1);
  test::DownloadAll(*file, content);
  EXPECT_TRUE(file->Data()->IsFinished());
  EXPECT_EQ(events_.Lines().back(), "completed f.bin");
}

TEST_F(DownloadFileDataTest, FinishedDownloadTakesNothingMore) {
  const auto content = PseudoRandomBytes(1000, 43);
  const CTransferFilePtr file = Create(content);
  test::DownloadAll(*file, content);
  ASSERT_TRUE(file->Data()->IsFinished());
  EXPECT_FALSE(file->Data()->AddSource(0x0100007F, 4662, 0, 0));
  EXPECT_FALSE(file->Data()->AcceptData({nullptr, 5}));
  EXPECT_FALSE(file->Data()->StatisticsSample());
  EXPECT_TRUE(file->CompletionBitmap().empty());
  EXPECT_EQ(file->Data()->Speed(), 0u);
}

TEST(DownloadRestoreTest, AFinishedButUnmovedDownloadCompletesAtItsFirstSample) {
  tarn::test::Sandbox sandbox;
  const fs::path temp = sandbox / "temp", shared = sandbox / "shared";
  fs::create_directories(temp);
  const auto content = PseudoRandomBytes(2000, 44);
  _tagStructDownloadMetadata metadata;
  metadata.hash = test::RecordFor(content, "").hash;
  metadata.info.name = "done.txt";
  metadata.info.size = 2000;
  sandbox.WriteFile("temp/00000.tarn.dat", WriteDownloadMetadataText(metadata));
  sandbox.WriteFile("temp/00000.tarn.tmp", std::string(content.begin(), content.end()));

  CTARNNetDownloadFileManager manager;
  manager.Start(temp, shared);
  ASSERT_EQ(manager.List().Count(), 1u);
  CTARNNetTransferFileList::GetInstance()->SampleStatistics();
  EXPECT_EQ(manager.List().Count(), 0u);
  EXPECT_TRUE(fs::exists(shared / "done.txt"));
  EXPECT_FALSE(fs::exists(temp / "00000.tarn.dat"));
  CTARNNetTransferFileList::GetInstance()->Clear();
}

struct NameCase {
  std::string name;
  std::string input;
  std::string safe;
};

class SafeFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(SafeFileNameTest, KeepsTheReadableRest) {
  EXPECT_EQ(SafeFileName(GetParam().input), GetParam().safe);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SafeFileNameTest,
    ::testing::Values(NameCase{"Plain", "movie.avi", "movie.avi"},
                      NameCase{"Separators", "../../x", ".._.._x"},
                      NameCase{"Absolute", "/etc/passwd", "_etc_passwd"},
                      NameCase{"Control", std::string("a\nb\0c", 5), "a_b_c"},
                      NameCase{"Utf8Kept", "caf\xc3\xa9.mp3", "caf\xc3\xa9.mp3"},
                      NameCase{"InvalidUtf8", "a\xff\xc3(b", "a__(b"},
                      NameCase{"Surrogate", "x\xed\xa0\x80y", "x___y"}, NameCase{"Empty", "", "_"},
                      NameCase{"DotDot", "..", "_"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return info.param.name; });

TEST(SafeFileNameLengthTest, LongNamesKeepTheirExtensionAndRoomForACounter) {
  const std::string safe = SafeFileName(std::string(300, 'n') + ".avi");
  EXPECT_EQ(safe.size(), 255u);
  EXPECT_EQ(safe.substr(251), ".avi");
  const std::string numbered = NumberedFileName(safe, 12);
  EXPECT_EQ(numbered.size(), 255u);
  EXPECT_EQ(numbered.substr(247), "(12).avi");
  // A cut never splits a character.
  std::string accents;
  for (int i = 0; i < 200; ++i) accents += "\xc3\xa9";
  const std::string cut = SafeFileName(accents);
  EXPECT_EQ(cut.size(), 254u);
  EXPECT_EQ(NumberedFileName("a.avi", 1), "a(1).avi");
  EXPECT_EQ(NumberedFileName("noext", 2), "noext(2)");
}

}  // namespace
}  // namespace P2P::Shared::File::TransferFile
