#include <gtest/gtest.h>

#include "shell/ui/InfoTip.h"
#include "shell/ui/PropertySheet.h"
#include "shell/ui/SearchBand.h"

namespace tarn::shell::ui {
namespace {

SItemDetails Download() {
  SItemDetails d;
  d.isDownload = true;
  d.name = "film.avi";
  d.hash = "0123456789ABCDEF0123456789ABCDEF";
  d.alternativeNames = "movie.avi\r\n\nfilm (1).avi\n";
  d.size = 23000000;
  d.completedSize = 11500000;
  d.nodes = 3;
  d.completeNodes = 1;
  d.bitrate = 1411;
  d.speed = 2048;
  return d;
}

TEST(InfoTip, ListsWhatIsKnownAndSkipsEmptyMediaValues) {
  EXPECT_EQ(InfoTip(Download()),
            "film.avi\nFinger Print: 0123456789ABCDEF0123456789ABCDEF\nAlternative:\n"
            "movie.avi\r\n\nfilm (1).avi\n\nSize: 23,000,000 Bytes\nNodes: 3\nComplete Nodes: 1\n"
            "Bit Rate: 1,411 KBits/Sec\nDownload Speed: 2.00 KB");
  SItemDetails result;
  result.name = "a.mp3";
  result.album = "Album";
  result.duration = "3:12";
  EXPECT_EQ(InfoTip(result),
            "a.mp3\nFinger Print: \nSize: 0 Bytes\nNodes: 0\nComplete Nodes: 0\nAlbum: Album\n"
            "Duration: 3:12");
}

TEST(PropertySheet, ADownloadHasFourPagesWithItsProgressAndFurtherNames) {
  const auto pages = PropertySheet(Download());
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_EQ(pages[0].title, "General");
  EXPECT_EQ(pages[0].progressPosition, 32762);  // floor(11500000 * 65525 / 23000000)
  EXPECT_EQ(pages[0].progressText, "50.00 %");
  EXPECT_EQ(pages[1].alternateNames, (std::vector<std::string>{"movie.avi", "film (1).avi"}));
  EXPECT_EQ(pages[1].fileName, "film.avi");
  ASSERT_EQ(pages[2].groups.size(), 2u);
  std::string labels;
  for (const auto& row : pages[2].groups[0].rows) labels += row.label + ",";
  EXPECT_EQ(labels,
            "Name,Type,Hash,Size,Completed,Remain,Progress,Creation,Last Modified,Nodes,"
            "Completed Nodes,BPS,");
  EXPECT_EQ(pages[2].groups[0].rows[5].value, "10.97 MB");
  EXPECT_EQ(pages[3].title, "About");
  SItemDetails empty = Download();
  empty.size = 0;
  EXPECT_EQ(PropertySheet(empty)[0].progressPosition, 0);  // no division by zero
}

TEST(SearchBand, EachSizeOptionSetsBothLimits) {
  SSearchForm form{.keyword = "k"};
  const auto limits = [&](ESizeClass size) {
    form.sizeClass = size;
    const SSearchTerms t = TermsOf(form);
    return std::to_string(t.minSize.value_or(99)) + "/" + std::to_string(t.maxSize.value_or(99));
  };
  EXPECT_EQ(limits(ESizeClass::kAny), "0/0");
  EXPECT_EQ(limits(ESizeClass::kSmall), "0/1048576");
  EXPECT_EQ(limits(ESizeClass::kMedium), "0/104857600");
  EXPECT_EQ(limits(ESizeClass::kLarge), "104857600/0");
  form.sizeMb = "0";
  EXPECT_EQ(limits(ESizeClass::kSpecified), "0/0");  // 0 at least: no size term
  form.sizeMb = "4096";  // past 32 bits: held at the largest size, not wrapped to 0
  EXPECT_EQ(limits(ESizeClass::kSpecified), "4294967295/0");
  form.sizeMb = "-5";
  EXPECT_EQ(limits(ESizeClass::kSpecified), "99/99");  // not a number: limits untouched
  form.typeIndex = 0;
  EXPECT_EQ(TermsOf(form).fileType, "");
  form.typeIndex = 2;
  EXPECT_EQ(TermsOf(form).fileType, "Arc");
  form.typeIndex = 99;
  EXPECT_EQ(TermsOf(form).fileType, "");
  form.keyword = std::string(300, 'a') + "\xC3\xA9";
  EXPECT_EQ(TermsOf(form).keyword, std::string(260, 'a'));
  form.keyword = std::string(259, 'a') + "\xC3\xA9" + "b";  // never split a character
  EXPECT_EQ(TermsOf(form).keyword, std::string(259, 'a') + "\xC3\xA9");
}

}  // namespace
}  // namespace tarn::shell::ui
