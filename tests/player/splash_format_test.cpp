#include "player/splash_format.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

TEST(SplashFormat, ReadsEveryStatementAndKeepsTheFilesOwnTime)
{
    Diagnostics diagnostics;
    const auto splash = ParseSplash("\xEF\xBB\xBFsplash 1\n"
                                    "size 400 240 # at 96 DPI\n"
                                    "image QW_Splash.BMP\n"
                                    "background 1a2B3c\n"
                                    "text 0 0 400 240 bold size=20 align=center color=ffffff "
                                    "\"$product\"\n"
                                    "text 10 200 100 20 \"bold\"\n",
                                    "QW_Splash.spl", diagnostics);
    ASSERT_TRUE(splash.has_value()) << FormatDiagnostic(diagnostics.at(0));
    EXPECT_EQ(splash->width, 400);
    EXPECT_EQ(splash->height, 240);
    EXPECT_EQ(splash->milliseconds, SplashDefinition::kDefaultMilliseconds);
    EXPECT_EQ(splash->image, "QW_Splash.BMP");
    EXPECT_EQ(splash->background, 0x1A2B3Cu);
    ASSERT_EQ(splash->texts.size(), 2u);
    const SplashText& title = splash->texts[0];
    EXPECT_TRUE(title.bold);
    EXPECT_EQ(title.points, 20);
    EXPECT_EQ(title.align, TextAlign::Center);
    EXPECT_EQ(title.color, 0xFFFFFFu);
    EXPECT_EQ(title.text, "$product");
    // The last word is always the text, even one that reads like an option.
    EXPECT_FALSE(splash->texts[1].bold);
    EXPECT_EQ(splash->texts[1].text, "bold");
    EXPECT_EQ(splash->texts[1].y, 200);

    const auto timed = ParseSplash("splash 1\nsize 1 1\ntime 100\n", "t.spl", diagnostics);
    ASSERT_TRUE(timed.has_value());
    EXPECT_EQ(timed->milliseconds, 100);
}

TEST(SplashFormat, EachMalformationIsRefusedWithItsLine)
{
    const std::string head = "splash 1\nsize 300 200\n";
    const struct
    {
        std::string text;
        int line;
        std::string fragment;
    } cases[] = {
        {"", 0, "empty"},
        {"splash 2\nsize 1 1\n", 1, "splash 1"},
        {"skin 1\n", 1, "splash 1"},
        {"splash 1\n", 0, "no \"size\""},
        {"splash 1\ntime 500\n", 0, "no \"size\""},
        {"splash 1\nsize 0 10\n", 2, "size <width>"},
        {"splash 1\nsize 10\n", 2, "size <width>"},
        {head + "size 10 10\n", 3, "twice"},
        {head + "time 99\n", 3, "time <milliseconds>"},
        {head + "time 10001\n", 3, "time <milliseconds>"},
        {head + "time 1500ms\n", 3, "time <milliseconds>"},
        {head + "image ..\\..\\x.bmp\n", 3, "beside"},
        {head + "image C:x.bmp\n", 3, "beside"},
        {head + "image pic.png\n", 3, "beside"},
        {head + "image .bmp\n", 3, "beside"},
        {head + "background 12345\n", 3, "rrggbb"},
        {head + "background 12345g\n", 3, "rrggbb"},
        {head + "background x=123456\n", 3, "attributes"},
        {"splash 1\ntext 0 0 10 10 \"a\"\nsize 300 200\n", 2, "after"},
        {head + "text 0 0 10 \"a\"\n", 3, "expected \"text"},
        {head + "text 0 0 10 10 size=12\n", 3, "expected \"text"},
        {head + "text 0 0 0 10 \"a\"\n", 3, "from 1"},
        {head + "text -1 0 10 10 \"a\"\n", 3, "from 0"},
        {head + "text 250 0 51 10 \"a\"\n", 3, "outside"},
        {head + "text 0 190 10 11 \"a\"\n", 3, "outside"},
        {head + "text 0 0 10 10 italic \"a\"\n", 3, "\"italic\" is not"},
        {head + "text 0 0 10 10 size=5 \"a\"\n", 3, "\"size=5\" is not"},
        {head + "text 0 0 10 10 align=middle \"a\"\n", 3, "is not"},
        {head + "text 0 0 10 10 color=fff \"a\"\n", 3, "is not"},
        {head + "logo 1 2\n", 3, "unknown keyword"},
        {head + std::string(5000, '#') + "\n", 3, "longer than"},
        {std::string(2 << 20, '\n'), 0, "larger than"},
    };
    for (const auto& c : cases)
    {
        Diagnostics diagnostics;
        EXPECT_FALSE(ParseSplash(c.text, "s.spl", diagnostics).has_value()) << c.fragment;
        ASSERT_FALSE(diagnostics.empty()) << c.fragment;
        EXPECT_EQ(diagnostics[0].file, "s.spl");
        EXPECT_EQ(diagnostics[0].line, c.line) << diagnostics[0].message;
        EXPECT_NE(diagnostics[0].message.find(c.fragment), std::string::npos)
            << diagnostics[0].message;
    }

    // A file of nothing but texts stops at a bound instead of growing.
    std::string many = head;
    for (int i = 0; i < 200; ++i)
    {
        many += "text 0 0 1 1 \"x\"\n";
    }
    Diagnostics diagnostics;
    EXPECT_FALSE(ParseSplash(many, "s.spl", diagnostics).has_value());
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].message.find("more than 64"), std::string::npos);
}

TEST(SplashFormat, ExpandsTheProductAndVersionOnly)
{
    const struct
    {
        const char* text;
        const char* expanded;
    } cases[] = {
        {"$product $version", "Quellwipe 0.1.0"},
        {"Version $version.", "Version 0.1.0."},
        {"$productive $versions", "Quellwipeive 0.1.0s"},
        {"$$product costs $5 $", "$product costs $5 $"},
        {"$Product", "$Product"},
        {"", ""},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(ExpandSplashText(c.text, "Quellwipe", "0.1.0"), c.expanded) << c.text;
    }
}

} // namespace
} // namespace qw
