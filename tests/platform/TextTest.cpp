#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/support/TestSupport.h"

using namespace znx;
using test::Sys;
constexpr bool kWindowsBuild = test::kWindows;

// The texts below are UTF-8; Sys converts them to the system code page
// (Windows-1250 on a Czech Windows), where the case mapping works.
TEST(Text, CaseMappingFoldsCzechLetters) {
    EXPECT_EQ(AnsiUpperCase(Sys("čřžůěšýáíéťďň")), Sys("ČŘŽŮĚŠÝÁÍÉŤĎŇ"));
    EXPECT_EQ(AnsiLowerCase(Sys("ČŘŽŮĚŠÝÁÍÉŤĎŇ")), Sys("čřžůěšýáíéťďň"));
    EXPECT_TRUE(AnsiSameText(Sys("Žluťoučký KŮŇ"), Sys("žLUŤOUČKÝ kůň")));
    EXPECT_FALSE(AnsiSameText(Sys("Řád"), Sys("Rad")));
    EXPECT_EQ(AnsiCompareText(Sys("čaj"), Sys("ČAJ")), 0);
    EXPECT_LT(AnsiCompareText("abc", "ABD"), 0);
    EXPECT_GT(AnsiCompareText("b", "A"), 0);
}

TEST(Text, CaseMappingLeavesOtherBytesAlone) {
    EXPECT_EQ(AnsiUpperCase(Sys("a1-_/ß×")), Sys("A1-_/ß×"));
    if (!kWindowsBuild) {
        EXPECT_EQ(AnsiUpperCase("a\xff\xfe"), "A\xff\xfe"); // invalid UTF-8 passes through
    }
}

TEST(Text, AzFoldingFoldsOnlyAsciiLetters) {
    EXPECT_EQ(UpperCaseAZ(Sys("koral_ř")), Sys("KORAL_ř"));
    EXPECT_TRUE(SameTextAZ("Paradox_r", "PARADOX_R"));
    EXPECT_FALSE(SameTextAZ(Sys("kastelán"), Sys("KASTELÁN")));
}

TEST(Text, FixedTextsReachTheSystemCodePage) {
    // The runner's first line, in the bytes of the system code page.
    const std::string expected = kWindowsBuild ? "Zpracov\xE1n\xED spu\x9At\xECno" // Windows-1250
                                               : "Zpracov\xC3\xA1n\xC3\xAD spu\xC5\xA1t\xC4\x9Bno";
    ASSERT_EQ(SystemCodePage(), kWindowsBuild ? "1250" : "UTF-8")
        << "the Windows tests run on a Czech system (LC_ALL=cs_CZ.UTF-8 under Wine)";
    EXPECT_EQ(SysText("Zpracování spuštěno"), expected);
    EXPECT_EQ(test::Utf8(expected), "Zpracování spuštěno");
    EXPECT_EQ(SysText("plain ASCII"), "plain ASCII");
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

TEST(Text, DecimalSeparatorIsTheRegionalOne) {
    SetDecimalSeparatorOverride('\0');
    if (test::kWindows) {
        EXPECT_EQ(DecimalSeparator(), ',') << "a Czech system writes 1,5";
    } else {
        EXPECT_TRUE(DecimalSeparator() == '.' || DecimalSeparator() == ',');
    }
    SetDecimalSeparatorOverride(';');
    EXPECT_EQ(DecimalSeparator(), ';');
    SetDecimalSeparatorOverride('\0');
}
