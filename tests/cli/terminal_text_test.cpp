#include <gtest/gtest.h>

#include "cli/TerminalText.h"

namespace tarn::cli {
namespace {

TEST(ForTerminal, ShowsEveryCharacterATerminalWouldActOnAsAQuestionMark) {
  // Colour, window title, clear screen: what a hostile server name carried.
  EXPECT_EQ(ForTerminal("\x1b[31mred\x1b]0;title\x07\x1b[2J"), "?[31mred?]0;title??[2J");
  EXPECT_EQ(ForTerminal("tab\there\r\nDEL\x7f"), "tab?here??DEL?");
  // C1 controls in their UTF-8 form: U+009B is a CSI to terminals that take 8-bit controls.
  EXPECT_EQ(ForTerminal("a\xC2\x9B"
                        "2Jb"),
            "a?2Jb");
  // Bidirectional overrides reorder the rest of the line ("evil\u202Etxt.exe").
  EXPECT_EQ(ForTerminal("evil\xE2\x80\xAEtxt.exe"), "evil?txt.exe");
  // Bytes that are not UTF-8, overlong forms and surrogates: one mark each.
  EXPECT_EQ(ForTerminal("x\x9B\xFFy"), "x??y");
  EXPECT_EQ(ForTerminal("\xC0\x9B"), "??");
  EXPECT_EQ(ForTerminal("\xED\xA0\x80"), "???");
  EXPECT_EQ(ForTerminal("\xE2\x82"), "??") << "a sequence cut short at the end";
  // Everything else stays as it is.
  EXPECT_EQ(ForTerminal("caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5"),
            "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5");
}

TEST(FitName, CutsAndPadsByTerminalCellsNotBytes) {
  EXPECT_EQ(FitName("abc", 5), "abc  ");
  EXPECT_EQ(FitName("abcdef", 4), "abc~");
  EXPECT_EQ(FitName("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9~");
  EXPECT_EQ(FitName("\xC3\xA9", 3), "\xC3\xA9  ");
  EXPECT_EQ(FitName("a\x1b[2Jb", 6), "a?[2Jb") << "no terminal escapes from the network";
  // Wide characters take two cells; one that would straddle the edge gives way to a blank.
  const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // three wide characters
  EXPECT_EQ(CellWidth(japanese), 6u);
  EXPECT_EQ(FitName(japanese, 6), japanese);
  EXPECT_EQ(FitName(japanese, 5), "\xE6\x97\xA5\xE6\x9C\xAC~");
  EXPECT_EQ(FitName(japanese, 4), "\xE6\x97\xA5~ ");
  // A combining accent takes no cell of its own.
  EXPECT_EQ(FitName("e\xCC\x81x", 3), "e\xCC\x81x ");
  EXPECT_EQ(FitName("abc", 0), "");
}

}  // namespace
}  // namespace tarn::cli
