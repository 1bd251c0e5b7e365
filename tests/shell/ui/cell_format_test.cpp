#include <gtest/gtest.h>

#include "shell/ui/CellFormat.h"

namespace tarn::shell::ui {
namespace {

struct SSizeCase {
  uint64_t bytes;
  int decimals;
  const char* text;
};

TEST(SizeText, SwitchesUnitsAtAThousandOfTheSmallerOne) {
  const SSizeCase cases[] = {
      {0, 0, "0 KB"},
      {0, 2, "0 B"},
      {1, 0, "1 KB"},
      {1023, 2, "1023 B"},
      {1023, 0, "1 KB"},
      {1024, 2, "1.00 KB"},
      {1536, 0, "2 KB"},  // rounded up without decimals
      {1023999, 2, "1000.00 KB"},
      {1024000, 2, "0.98 MB"},
      {1048575999, 2, "1000.00 MB"},
      {1048576000, 2, "0.98 GB"},
      {4294967295u, 2, "4.00 GB"},
      {4294967295u, 0, "4 GB"},
      {1000ull * 1073741824, 2, "0.98 TB"},
  };
  for (const auto& c : cases) EXPECT_EQ(SizeText(c.bytes, c.decimals), c.text) << c.bytes;
}

TEST(PercentText, CutsRatherThanRoundsAndIsEmptyWithoutAWhole) {
  EXPECT_EQ(PercentText(2, 3, 2), "66.66 %");
  EXPECT_EQ(PercentText(2, 3, 0), "66 %");
  EXPECT_EQ(PercentText(9999, 10000, 0), "99 %");
  EXPECT_EQ(PercentText(1, 10000, 2), "0.01 %");
  EXPECT_EQ(PercentText(5, 5, 2), "100.00 %");
  EXPECT_EQ(PercentText(0, 7, 2), "0.00 %");
  EXPECT_EQ(PercentText(3, 0, 2), "");
  EXPECT_EQ(PercentText(4294967295u, 4294967295u, 2), "100.00 %");  // no overflow
}

TEST(NumberText, GroupsThousandsWithCommas) {
  EXPECT_EQ(NumberText(0), "0");
  EXPECT_EQ(NumberText(999), "999");
  EXPECT_EQ(NumberText(1000), "1,000");
  EXPECT_EQ(NumberText(4294967295u), "4,294,967,295");
  EXPECT_EQ(BitrateText(0), "");
  EXPECT_EQ(BitrateText(128), "128 KBits/Sec");
  EXPECT_EQ(BitrateText(1411), "1,411 KBits/Sec");
  EXPECT_EQ(NodesText(12, 3), "12(3)");
}

}  // namespace
}  // namespace tarn::shell::ui
