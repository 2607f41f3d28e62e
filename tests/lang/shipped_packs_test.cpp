// Every shipped language pack holds every key the program looks up, in the
// section(s) its callers read.

#include "lang/ini_file.h"
#include "lang/language_pack.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_text_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace qw
{
namespace
{

std::vector<int> AllKeys()
{
    std::vector<int> keys = {1000, 1002, 1003, 1004, 9018,  9019,  9021, 9022,
                             9023, 9208, 9606, 9609, 11000, 11001, 12000};
    auto range = [&keys](int from, int to)
    {
        for (int k = from; k <= to; ++k)
        {
            keys.push_back(k);
        }
    };
    range(9006, 9016);
    range(9025, 9030);
    range(9032, 9034);
    range(9036, 9056);
    range(9059, 9062);
    range(9065, 9069);
    range(9120, 9159);
    range(9700, 9706);
    range(9900, 9910);
    range(9913, 9919);
    range(10000, 10003);
    range(10100, 10104);
    std::sort(keys.begin(), keys.end());
    return keys;
}

// Keys the message windows read from "Messages"; those in both sets are
// read from both sections by different callers.
const std::set<int> kMessagesKeys = {1000, 1002, 1003, 1004, 9016, 9018, 9019, 9021,
                                     9022, 9023, 9025, 9026, 9027, 9028, 9029, 9030,
                                     9032, 9034, 9036, 9044, 9066, 9067, 9068, 9069};
const std::set<int> kBothSections = {9016, 9034, 9044};

std::vector<std::string> ShippedPacks()
{
    std::vector<std::string> packs;
    for (const auto& entry : std::filesystem::directory_iterator(QW_DATA_DIR "/Lang"))
    {
        if (entry.path().extension() == ".ini")
        {
            packs.push_back(entry.path().stem().string());
        }
    }
    std::sort(packs.begin(), packs.end());
    return packs;
}

std::string ReadPack(const std::string& language)
{
    CPosixFileSystem files;
    auto bytes = files.ReadWholeFile(*LanguagePackPath(QW_DATA_DIR, language));
    return bytes ? *bytes : std::string();
}

std::multiset<std::string> Placeholders(const std::string& text)
{
    std::multiset<std::string> found;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
    {
        if (text[i] == '%' && std::string_view("sutc").find(text[i + 1]) != std::string::npos)
        {
            found.insert(text.substr(i, 2));
        }
    }
    return found;
}

TEST(ShippedPacks, EnglishAndGermanAreShipped)
{
    std::vector<std::string> packs = ShippedPacks();
    EXPECT_NE(std::find(packs.begin(), packs.end(), "English"), packs.end());
    EXPECT_NE(std::find(packs.begin(), packs.end(), "Deutsch"), packs.end());
}

TEST(ShippedPacks, EveryKeyIsInItsSections)
{
    for (const std::string& language : ShippedPacks())
    {
        std::string text = ReadPack(language);
        ASSERT_FALSE(text.empty()) << language;
        EXPECT_TRUE(IsValidUtf8(text)) << language;
        for (int key : AllKeys())
        {
            bool inMessages = kMessagesKeys.count(key) != 0;
            bool inPack = !inMessages || kBothSections.count(key) != 0;
            auto packValue = FindIniValue(text, kPackSection, std::to_string(key));
            auto messagesValue = FindIniValue(text, kMessagesSection, std::to_string(key));
            if (inPack)
            {
                EXPECT_TRUE(packValue && !packValue->empty())
                    << language << ": " << key << " missing in " << kPackSection;
            }
            if (inMessages)
            {
                EXPECT_TRUE(messagesValue && !messagesValue->empty())
                    << language << ": " << key << " missing in " << kMessagesSection;
            }
        }
    }
}

TEST(ShippedPacks, TranslationsKeepThePlaceholdersOfEnglish)
{
    std::string english = ReadPack("English");
    for (const std::string& language : ShippedPacks())
    {
        std::string text = ReadPack(language);
        for (int key : AllKeys())
        {
            for (std::string_view section : {kPackSection, kMessagesSection})
            {
                auto reference = FindIniValue(english, section, std::to_string(key));
                auto translated = FindIniValue(text, section, std::to_string(key));
                if (reference && translated)
                {
                    EXPECT_EQ(Placeholders(*reference), Placeholders(*translated))
                        << language << ": " << section << " " << key;
                }
            }
        }
    }
}

TEST(ShippedPacks, CaptionsFitTheirLimit)
{
    for (const std::string& language : ShippedPacks())
    {
        std::string text = ReadPack(language);
        for (int key : {9900, 9208, 10000, 10104})
        {
            auto value = FindIniValue(text, kPackSection, std::to_string(key));
            ASSERT_TRUE(value) << language << " " << key;
            EXPECT_EQ(CutToCharacters(*value, kCaptionLimit), *value) << language << " " << key;
        }
    }
}

} // namespace
} // namespace qw
