#include <gtest/gtest.h>

#include "cli/ProgressBar.h"
#include "cli/Units.h"

namespace tarn::cli {
namespace {

TEST(FormatSize, BytesThenBinaryUnitsWithOneDecimal) {
  EXPECT_EQ(FormatSize(0), "0 B");
  EXPECT_EQ(FormatSize(1023), "1023 B");
  EXPECT_EQ(FormatSize(1024), "1.0 KiB");
  EXPECT_EQ(FormatSize(1536), "1.5 KiB");
  EXPECT_EQ(FormatSize(9728000), "9.3 MiB");
  EXPECT_EQ(FormatSize(4290048000u), "4.0 GiB");
  EXPECT_EQ(FormatSize(UINT64_MAX), "16384.0 PiB") << "the largest unit grows past 1024";
}

TEST(FormatSize, RoundingNeverShows1024OfAUnit) {
  EXPECT_EQ(FormatSize(1024 * 1024 - 1), "1.0 MiB");
  EXPECT_EQ(FormatSize(1024 * 1023), "1023.0 KiB");
}

TEST(FormatSpeed, IsASizePerSecond) {
  EXPECT_EQ(FormatSpeed(0), "0 B/s");
  EXPECT_EQ(FormatSpeed(655360), "640.0 KiB/s");
}

TEST(ParseSize, PlainNumbersAndUnitsOfAnyCase) {
  EXPECT_EQ(ParseSize("700"), 700u);
  EXPECT_EQ(ParseSize("700B"), 700u);
  EXPECT_EQ(ParseSize("1k"), 1024u);
  EXPECT_EQ(ParseSize("1K"), 1024u);
  EXPECT_EQ(ParseSize("2MiB"), 2u * 1024 * 1024);
  EXPECT_EQ(ParseSize("1.5G"), 1536u * 1024 * 1024);
  EXPECT_EQ(ParseSize("1t"), 1ull << 40);
}

TEST(ParseSize, RefusesWhatIsNotASize) {
  for (const char* text : {"", "k", "-1", "1.", ".5k", "1.5", "1x", "1kk", "1 k", "12MB3"})
    EXPECT_FALSE(ParseSize(text).has_value()) << text;
}

TEST(ParseSize, RefusesWhatOverflows) {
  EXPECT_EQ(ParseSize("18446744073709551615"), UINT64_MAX);
  EXPECT_FALSE(ParseSize("18446744073709551616").has_value());
  EXPECT_FALSE(ParseSize("16777216T").has_value());
  EXPECT_FALSE(ParseSize("99999999999999999999999").has_value());
}

TEST(ProgressBar, FillsInProportionWithinItsWidth) {
  EXPECT_EQ(ProgressBar(0, 100, 12), "[..........]");
  EXPECT_EQ(ProgressBar(50, 100, 12), "[#####.....]");
  EXPECT_EQ(ProgressBar(100, 100, 12), "[##########]");
  EXPECT_EQ(ProgressBar(99, 100, 12), "[#########.]") << "full only when done";
  EXPECT_EQ(ProgressBar(500, 100, 12), "[##########]") << "more than the total stays full";
  EXPECT_EQ(ProgressBar(5, 0, 12), "[..........]") << "an empty total is no progress";
  EXPECT_EQ(ProgressBar(1, 2, 0).size(), 3u);
}

TEST(ProgressBar, PercentOfHugeSizesDoesNotOverflow) {
  EXPECT_EQ(Percent(0, 0), "0.0%");
  EXPECT_EQ(Percent(1, 3), "33.3%");
  EXPECT_EQ(Percent(UINT64_MAX / 2, UINT64_MAX), "49.9%");
  EXPECT_EQ(Percent(UINT64_MAX, UINT64_MAX), "100.0%");
}

}  // namespace
}  // namespace tarn::cli
