#include <gtest/gtest.h>

#include "support/orelib_string.h"

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
