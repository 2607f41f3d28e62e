#include "lang/ini_file.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

TEST(IniValue, SectionsAndKeysMatchWithoutCaseAndValuesAreTrimmed)
{
    std::string text = "[Tarnwell Language Pack]\r\n9010 = \t  The window cannot open.  \r\n"
                       "[MESSAGES]\r\nKey=Value\r\n";
    EXPECT_EQ(FindIniValue(text, "tarnwell language pack", "9010"), "The window cannot open.");
    EXPECT_EQ(FindIniValue(text, "Messages", "KEY"), "Value");
    EXPECT_EQ(FindIniValue(text, "Messages", "9010"), std::nullopt);
    EXPECT_EQ(FindIniValue(text, "Other", "Key"), std::nullopt);
}

TEST(IniValue, OnePairOfEnclosingQuotesIsRemoved)
{
    std::string text = "[s]\na=\"  padded \"\nb=\"\"twice\"\"\nc=\"open only\nd='single'\n"
                       "e=\"mixed'\nf=in \"the\" middle\n";
    EXPECT_EQ(FindIniValue(text, "s", "a"), "  padded ");
    EXPECT_EQ(FindIniValue(text, "s", "b"), "\"twice\"");
    EXPECT_EQ(FindIniValue(text, "s", "c"), "\"open only");
    EXPECT_EQ(FindIniValue(text, "s", "d"), "single");
    EXPECT_EQ(FindIniValue(text, "s", "e"), "\"mixed'");
    EXPECT_EQ(FindIniValue(text, "s", "f"), "in \"the\" middle");
}

TEST(IniValue, FirstSectionAndFirstKeyWin)
{
    std::string text = "[s]\nk=first\nk=second\n[other]\nk=other\n[S]\nk=later section\nx=1\n";
    EXPECT_EQ(FindIniValue(text, "s", "k"), "first");
    // The second [S] is never searched.
    EXPECT_EQ(FindIniValue(text, "s", "x"), std::nullopt);
}

TEST(IniValue, ValuesEndAtTheLineAndOddLinesAreSkipped)
{
    std::string text = "k=outside\n[s]\n; k=comment\nno equals sign\n  k2  =  a = b  \nk3=\n"
                       "k4=last line without end";
    EXPECT_EQ(FindIniValue(text, "s", "k"), std::nullopt);
    EXPECT_EQ(FindIniValue(text, "s", "k2"), "a = b");
    EXPECT_EQ(FindIniValue(text, "s", "k3"), "");
    EXPECT_EQ(FindIniValue(text, "s", "k4"), "last line without end");
}

TEST(TextFileDecoding, Utf8WithOrWithoutBomAndAnsiFallback)
{
    test::CLatin1Codec codec;
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF[s]\nk=Gr\xC3\xBC\xC3\x9F"
                             "e",
                             codec),
              "[s]\nk=Gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_EQ(DecodeTextFile("k=Gr\xC3\xBC\xC3\x9F"
                             "e",
                             codec),
              "k=Gr\xC3\xBC\xC3\x9F"
              "e");
    // 0xFC alone is no UTF-8: the file is in the ANSI code page.
    EXPECT_EQ(DecodeTextFile("k=Gr\xFC\xDF"
                             "e",
                             codec),
              "k=Gr\xC3\xBC\xC3\x9F"
              "e");
}

TEST(TextFileDecoding, Utf8Validation)
{
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("\xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));         // cut short at the end
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(IsValidUtf8("\x80"));             // stray continuation
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // past U+10FFFF
}

TEST(TextCut, CountsCharactersNotBytes)
{
    EXPECT_EQ(CutToCharacters("abcdef", 3), "abc");
    EXPECT_EQ(CutToCharacters("ab", 3), "ab");
    EXPECT_EQ(CutToCharacters("\xC3\xA4\xC3\xB6\xC3\xBC", 2), "\xC3\xA4\xC3\xB6");
    EXPECT_EQ(CutToCharacters("x", 0), "");
}

} // namespace
} // namespace qw
