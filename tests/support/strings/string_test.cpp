#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_driver.h"
#include "support/orelib_string.h"
#include "support/shown_text.h"

using orelib::lexical_cast;
using orelib::replace_all;
using orelib::to_lower;

TEST(ReplaceAll, ScansTheOriginalTextOnce) {
  orelib::string text = "a/b//c";
  EXPECT_EQ(replace_all(text, "/", "\\"), 3);
  EXPECT_EQ(text, "a\\b\\\\c");

  // Inserted bytes are never searched again, so this terminates.
  text = "aaa";
  EXPECT_EQ(replace_all(text, "a", "aa"), 3);
  EXPECT_EQ(text, "aaaaaa");

  text = "no separators";
  EXPECT_EQ(replace_all(text, "/", "\\"), 0);
  EXPECT_EQ(text, "no separators");

  text = "x--y----z";
  EXPECT_EQ(replace_all(text, "--", "-"), 3);
  EXPECT_EQ(text, "x-y--z");
}

TEST(ReplaceAll, EmptyPatternReplacesNothing) {
  orelib::string text = "abc";
  EXPECT_EQ(replace_all(text, "", "x"), 0);
  EXPECT_EQ(text, "abc");
}

TEST(ReplaceAll, ComparesBytesSoTrailBytesMatchTheBackslash) {
  // "ソ" is 0x83 0x5C in Shift-JIS: a byte-wise replacement of the backslash hits it.
  orelib::string text = "C:\\ソフト";
  ASSERT_EQ(text, "C:\\\x83\x5C\x83\x74\x83\x67");
  EXPECT_EQ(replace_all(text, "\\", "/"), 2);
  EXPECT_EQ(text, "C:/\x83/\x83\x74\x83\x67");
}

TEST(ToLower, FoldsAsciiAndKeepsDoubleByteCharacters) {
  orelib::string text = "TeX\\Bin\\";
  to_lower(text);
  EXPECT_EQ(text, "tex\\bin\\");

  orelib::string empty;
  to_lower(empty);
  EXPECT_EQ(empty, "");

  // "ソ" and "ア" (0x83 0x41): trail bytes in the ASCII range must survive unchanged.
  orelib::string japanese = "D:\\ソフト\\アA";
  const orelib::string before = japanese;
  to_lower(japanese);
  EXPECT_EQ(japanese.size(), before.size());
  EXPECT_EQ(japanese, "d:\\ソフト\\アa");
}

TEST(ToLower, LowerCasesFullWidthLatinLetters) {
  orelib::string text = "ＴＥＸ";  // full-width capitals
  to_lower(text);
  EXPECT_EQ(text, "ｔｅｘ");
}

TEST(LexicalCast, NumbersToText) {
  EXPECT_EQ(lexical_cast<orelib::string>(0), "0");
  EXPECT_EQ(lexical_cast<orelib::string>(-5), "-5");
  EXPECT_EQ(lexical_cast<orelib::string>(2147483647), "2147483647");
  EXPECT_EQ(lexical_cast<orelib::string>(4294967295UL), "-1");
  EXPECT_EQ(lexical_cast<orelib::string>(12029UL), "12029");
}

TEST(LexicalCast, DigitsToNumber) {
  EXPECT_EQ(lexical_cast<int>(orelib::string("0042")), 42);
  EXPECT_EQ(lexical_cast<int>(orelib::string("")), 0);
  EXPECT_EQ(lexical_cast<int>(orelib::string("2147483647")), 2147483647);
  EXPECT_EQ(lexical_cast<int>(orelib::string("2147483648")), 2147483647);
  EXPECT_EQ(lexical_cast<int>(orelib::string("99999999999")), 2147483647);
  EXPECT_EQ(lexical_cast<int>(orelib::string("330232")), 330232);
}

TEST(LexicalCast, RejectsAnythingButDigits) {
  for (const char* bad : {"1 2", "-1", "+1", "1.5", " 1", "1a", "\x82\x4f"}) {
    try {
      lexical_cast<int>(orelib::string(bad));
      ADD_FAILURE() << "no exception for \"" << bad << "\"";
    } catch (const orelib::bad_lexical_cast& error) {
      EXPECT_EQ(error.source_type(), typeid(orelib::string));
      EXPECT_EQ(error.target_type(), typeid(int));
    }
  }
}

// Each piece read in its own code page, as the message box shows it: the plug-in's own text is
// Shift-JIS on every system, a path from the system is in the system's code page.
TEST(ShownText, MessageBoxShowsEachPieceInItsCodePage) {
  using orelib::from_system;
  using orelib::own;
  const bool western = GetACP() == 1252;
  // A path a Western system writes with bytes 0x80 to 0xFF; on a Japanese one, a Japanese path.
  const std::string path = western ? "C:\\Caf\xE9\\\xC4\x80\xFF" : "C:\\辞書\\ｶﾅ";
  const std::wstring path_shown = western ? L"C:\\Café\\Ä€ÿ" : L"C:\\辞書\\ｶﾅ";
  std::string long_text;
  std::wstring long_shown;
  for (int i = 0; i < 1000; ++i) {
    long_text += "辞書";
    long_shown += L"辞書";
  }
  struct Row {
    const char* name;
    std::vector<orelib::shown_piece> pieces;
    std::wstring shown;
  };
  const Row rows[] = {
      {"OwnText", {own("ispellのシステム辞書")}, L"ispellのシステム辞書"},
      {"SystemPathInASentence",
       {own("ファイル"), from_system(path), own("は使用中です．")},
       L"ファイル" + path_shown + L"は使用中です．"},
      {"FourThousandBytes", {own(long_text)}, long_shown},
      // A lead byte cut from its trail byte is shown as such, and read no further than its piece.
      {"LoneLeadByteAtTheEnd",
       {own(std::string_view("辞\x8F"
                             "\x8F",
                             3))},
       L"辞\xFFFD"},
      {"LoneLeadBytePairsWithNoOtherPiece",
       {own("X\x82"), own("a")},
       L"X\xFFFD"
       L"a"},
      {"Nothing", {own("")}, L""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing_support::DialogDriver boxes({IDOK});
    EXPECT_EQ(orelib::message_box(nullptr, row.pieces, MB_OK), IDOK);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].caption, L"ispell");
    EXPECT_EQ(boxes.boxes()[0].text, row.shown);
  }
}
