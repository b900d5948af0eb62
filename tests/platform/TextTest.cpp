#include <gtest/gtest.h>

#include "platform/text.h"

using namespace znx;

TEST(Text, CaseMappingFoldsCzechLetters) {
    EXPECT_EQ(AnsiUpperCase("čřžůěšýáíéťďň"), "ČŘŽŮĚŠÝÁÍÉŤĎŇ");
    EXPECT_EQ(AnsiLowerCase("ČŘŽŮĚŠÝÁÍÉŤĎŇ"), "čřžůěšýáíéťďň");
    EXPECT_TRUE(AnsiSameText("Žluťoučký KŮŇ", "žLUŤOUČKÝ kůň"));
    EXPECT_FALSE(AnsiSameText("Řád", "Rad"));
    EXPECT_EQ(AnsiCompareText("čaj", "ČAJ"), 0);
}

TEST(Text, CaseMappingLeavesOtherBytesAlone) {
    EXPECT_EQ(AnsiUpperCase("a1-_/\xff\xfe"), "A1-_/\xff\xfe"); // invalid UTF-8 passes through
    EXPECT_EQ(AnsiUpperCase("ß×"), "ß×");
}

TEST(Text, AzFoldingFoldsOnlyAsciiLetters) {
    EXPECT_EQ(UpperCaseAZ("koral_ř"), "KORAL_ř");
    EXPECT_TRUE(SameTextAZ("Paradox_r", "PARADOX_R"));
    EXPECT_FALSE(SameTextAZ("kastelán", "KASTELÁN"));
}

TEST(Text, TrimRemovesBlanksAndControlCharacters) {
    EXPECT_EQ(Trim(" \t\r\n x y \x01\x1f"), "x y");
    EXPECT_EQ(Trim("   "), "");
}

TEST(Text, UnquoteRemovesOnePairOnly) {
    struct Case { const char* in; const char* out; };
    for (auto c : {Case{"\"db\"", "db"}, Case{"\"\"", ""}, Case{"\"", "\""}, Case{"\"\"x\"\"", "\"x\""},
                   Case{" \"a\"", " \"a\""}, Case{"a", "a"}})
        EXPECT_EQ(Unquote(c.in), c.out) << c.in;
}

TEST(Text, FormatFillsPlaceholdersInOrder) {
    EXPECT_EQ(Format("\"%s\" v katalogu \"%s\" %d%%", "a", std::string("b"), 5), "\"a\" v katalogu \"b\" 5%");
    EXPECT_THROW(Format("%s %s", "x"), std::invalid_argument);
}

TEST(Text, IntegerTextAsTheSystemReadsIt) {
    struct Case { const char* in; bool ok; int32_t value; };
    for (auto c : {Case{"42", true, 42}, Case{"-7", true, -7}, Case{"+3", true, 3}, Case{"$F", true, 15},
                   Case{"0x1F", true, 31}, Case{"$FFFFFFFF", true, -1}, Case{"2147483647", true, 2147483647},
                   Case{"2147483648", false, 0}, Case{"-2147483648", true, INT32_MIN}, Case{"12ab", false, 0},
                   Case{"", false, 0}, Case{"$", false, 0}, Case{" 1", false, 0}, Case{"0x", false, 0}}) {
        int32_t v = 0;
        EXPECT_EQ(TryStrToInt(c.in, v), c.ok) << c.in;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.in;
        }
    }
}
