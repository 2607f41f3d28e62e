#include "lang/language_pack.h"

#include "app/shred_app.h"
#include "fakes/fake_platform.h"
#include "platform/setting_names.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

class RecordingControls : public IControlTexts
{
public:
    void SetItemText(int controlId, const std::string& text) override { texts[controlId] = text; }
    std::map<int, std::string> texts;
};

// The application folder (AppPath) and the program folder differ here so
// that every lookup shows which one it reads.
class LanguageLookupTest : public ::testing::Test
{
protected:
    LanguageLookupTest()
    {
        m_fake.settings.WriteText(kAppPath, "D:\\App");
        m_app.m_appPath = "D:\\App";
        m_app.m_language = "English";
    }

    void Pack(const std::string& folder, const std::string& language, const std::string& text)
    {
        m_fake.files.files[folder + "\\Lang\\" + language + ".ini"] = text;
    }

    test::FakePlatform m_fake{"C:\\Prog\\Quellwipe.exe"};
    CShredApp m_app{m_fake.platform};
};

TEST_F(LanguageLookupTest, EachLookupReadsItsOwnFolderAndSection)
{
    Pack("D:\\App", "English",
         "[Tarnwell Language Pack]\n9010=app text\n[Messages]\n9034=app msg\n");
    Pack("C:\\Prog", "English",
         "[Tarnwell Language Pack]\n9010=prog text\n[Messages]\n9034=prog msg\n");

    EXPECT_EQ(m_app.LanguageText(9010), "app text");
    EXPECT_EQ(m_app.NewMessage(MessageSize::Small).MessageText(9034), "prog msg");
    RecordingControls controls;
    m_app.SetControlText(9010, 1001, "Default", controls);
    EXPECT_EQ(controls.texts[1001], "app text");
    EXPECT_EQ(m_app.CaptionText(9010, "Default"), "app text");
}

TEST_F(LanguageLookupTest, MissingKeySectionOrFileGivesTheDefault)
{
    Pack("D:\\App", "English", "[Tarnwell Language Pack]\n9010=only here\n");
    Pack("C:\\Prog", "English", "[Tarnwell Language Pack]\n9010=no messages section\n");

    // A pack without "Messages": every message-window text is "Error".
    EXPECT_EQ(m_app.NewMessage(MessageSize::Middle).MessageText(9010), "Error");
    EXPECT_EQ(m_app.LanguageText(9011), "Error");
    EXPECT_EQ(m_app.CaptionText(9900, "Shredding....."), "Shredding.....");
    RecordingControls controls;
    m_app.SetControlText(9901, 7, "Cancel", controls);
    EXPECT_EQ(controls.texts[7], "Cancel");

    m_app.m_language = "Klingon"; // no such file
    EXPECT_EQ(m_app.LanguageText(9010), "Error");
}

TEST_F(LanguageLookupTest, KeysOfOneSectionAreNotFoundInTheOther)
{
    Pack("D:\\App", "English",
         "[Tarnwell Language Pack]\n1=pack only\n[Messages]\n2=messages only\n");
    m_fake.system.programPath = "D:\\App\\Quellwipe.exe";
    CShredApp app(m_fake.platform);
    app.m_appPath = "D:\\App";
    app.m_language = "English";
    EXPECT_EQ(app.LanguageText(2), "Error");
    EXPECT_EQ(app.NewMessage(MessageSize::Small).MessageText(1), "Error");
    EXPECT_EQ(app.LanguageText(1), "pack only");
    EXPECT_EQ(app.NewMessage(MessageSize::Small).MessageText(2), "messages only");
}

TEST_F(LanguageLookupTest, ChangingTheLanguageBetweenTwoLookupsReadsTheOtherPack)
{
    Pack("D:\\App", "English", "[Tarnwell Language Pack]\n9061=Language changed.\n");
    Pack("D:\\App", "Deutsch", "[Tarnwell Language Pack]\n9061=Sprache gewechselt.\n");
    EXPECT_EQ(m_app.LanguageText(9061), "Language changed.");
    m_app.m_language = "Deutsch";
    EXPECT_EQ(m_app.LanguageText(9061), "Sprache gewechselt.");
}

// A language name is one file name of the Lang folder: anything else is
// never read, even where a pack lies at the path it would make.
TEST_F(LanguageLookupTest, OnlyPlainNamesAreReadAsPacks)
{
    // clang-format off
    const std::vector<std::string> plain = {"Deutsch", "Fran\303\247ais", "pt.BR", "COMx",
                                            std::string(251, 'x')};
    const std::vector<std::string> refused = {
        "", ".", "..", "..\\..\\windows\\win", "../../etc/x", "Lang\\Deutsch",
        "C:\\Windows\\win", "C:win", "\\\\server\\share\\x", "Deutsch.", "Deutsch ",
        " Deutsch", "Deu..tsch", "a|b", "a*b", "a?b", "tab\tname", "CON", "con", "Nul.x", "AUX",
        "COM1", "lpt9", "CONIN$", std::string(252, 'x')};
    // clang-format on
    for (const auto& [names, read] : {std::pair{plain, true}, std::pair{refused, false}})
    {
        for (const std::string& language : names)
        {
            SCOPED_TRACE(language);
            EXPECT_EQ(IsLanguageName(language), read);
            Pack("D:\\App", language, "[Tarnwell Language Pack]\n9010=found\n");
            m_app.m_language = language;
            m_fake.files.reads.clear();
            EXPECT_EQ(m_app.LanguageText(9010), read ? "found" : "Error");
            EXPECT_EQ(m_fake.files.reads.size(), read ? 1u : 0u);
            EXPECT_EQ(LanguagePackPath("D:\\App", language).has_value(), read);
        }
    }
}

TEST_F(LanguageLookupTest, LongValuesAreCutAtEachLookupsLimit)
{
    std::string longValue(2500, 'x');
    longValue[1998] = 'L'; // last character LanguageText keeps
    Pack("D:\\App", "English", "[Tarnwell Language Pack]\n9010=" + longValue + "\n");
    Pack("C:\\Prog", "English", "[Messages]\n9010=" + longValue + "\n");

    std::string text = m_app.LanguageText(9010);
    EXPECT_EQ(text.size(), 1999u);
    EXPECT_EQ(text.back(), 'L');
    EXPECT_EQ(m_app.NewMessage(MessageSize::Small).MessageText(9010).size(), 1999u);
    RecordingControls controls;
    m_app.SetControlText(9010, 1, "", controls);
    EXPECT_EQ(controls.texts[1], std::string(499, 'x'));
    EXPECT_EQ(m_app.CaptionText(9010, ""), std::string(99, 'x'));
}

TEST_F(LanguageLookupTest, ControlTextsFollowTheAppPathSettingAtOnceLanguageTextDoesNot)
{
    Pack("D:\\App", "English", "[Tarnwell Language Pack]\n9901=old folder\n");
    Pack("E:\\Moved", "English", "[Tarnwell Language Pack]\n9901=new folder\n");
    m_fake.settings.WriteText(kAppPath, "E:\\Moved");

    RecordingControls controls;
    m_app.SetControlText(9901, 3, "Cancel", controls);
    EXPECT_EQ(controls.texts[3], "new folder");
    EXPECT_EQ(m_app.CaptionText(9901, ""), "new folder");
    EXPECT_EQ(m_app.LanguageText(9901), "old folder");
}

TEST_F(LanguageLookupTest, AnsiPacksAreConvertedAndUtf8PacksKept)
{
    Pack("D:\\App", "Deutsch", "[Tarnwell Language Pack]\n9061=Sprache ge\xE4ndert\n");
    Pack("D:\\App", "English", "\xEF\xBB\xBF[Tarnwell Language Pack]\n9061=\xE2\x82\xAC sign\n");
    EXPECT_EQ(m_app.LanguageText(9061), "\xE2\x82\xAC sign");
    m_app.m_language = "Deutsch";
    EXPECT_EQ(m_app.LanguageText(9061), "Sprache ge\xC3\xA4ndert");
}

} // namespace
} // namespace qw
