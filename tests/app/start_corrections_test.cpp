// Stored settings out of range, or naming no pack, as an interactive start
// (the application object and the main window over the movie we ship) and
// an unattended run find and leave them.
#include "app/main_window_host.h"
#include "app/shred_app.h"
#include "ui/main_window_fixture.h"

namespace qw::test
{
namespace
{

constexpr const char* kProgramFolder = "C:\\Tools\\Qw";

std::string PackFor(const std::string& language)
{
    return "[Tarnwell Language Pack]\n9606=Quellwipe " + language + "\n";
}

// The real main window, started as the program starts it.
class CStartedWindow : public IMainWindow
{
public:
    explicit CStartedWindow(CFakeFileSystem& files) : m_movie(files) {}

    void RunModal(CShredApp& app) override
    {
        CAppMainWindowHost host(app);
        CFakeServices services;
        CSchedulingUnavailable scheduling(host);
        CFrame frame;
        CSkin skin;
        CFakePresenter presenter;
        CMainWindow window(m_movie, &skin, frame, presenter, app.m_exeFolder, host, services,
                           scheduling, nullptr);
        EXPECT_TRUE(window.InitDialog());
        shownLanguage = m_movie.GetVariable("_root.strLanguage");
        selected = m_movie.GetVariable("_root.LastSelectedLang");
    }

    std::string shownLanguage, selected;

private:
    CPlayedMovie m_movie;
};

TEST(StartCorrections, StoredValuesAreCorrectedBeforeAnythingUsesThem)
{
    struct Stored
    {
        int method, passes, folder, remove;
        const char* language;
    };
    struct Case
    {
        const char* what;
        Stored stored;
        std::map<std::string, std::string> packs; // by language; empty text: PackFor
        const char* commandLine;
        Stored after;               // as the settings hold them afterwards
        const char* language;       // the run's language
        const char* title;          // also the instance mutex's name
        int folderRule, removeRule; // what a run is given
        std::vector<std::string> writes;
        const char* selected; // the movie's list; empty where no window ran
    };
    const std::vector<std::string> everything = {"Language", "Method", "PassCount", "Folder",
                                                 "Remove"};
    // clang-format off
    const Case cases[] = {
        {"all in range", {1, 10, 2, 1, "Deutsch"}, {{"English", ""}, {"Deutsch", ""}}, "",
         {1, 10, 2, 1, "Deutsch"}, "Deutsch", "Quellwipe Deutsch", 2, 1, {}, "1"},
        // The path leads to a readable pack outside Lang: it must not be read.
        {"out of range, and a path for a language",
         {5, 0, 7, static_cast<int>(0xFFFFFFFFu), "..\\..\\windows\\win"},
         {{"English", ""}, {"..\\..\\windows\\win", ""}}, "",
         {0, 3, 0, 0, "English"}, "English", "Quellwipe English", 0, 0, everything, "0"},
        {"below range, and a language without a pack", {-1, 11, -1, 3, "Klingon"},
         {{"English", ""}}, "",
         {0, 3, 0, 0, "English"}, "English", "Quellwipe English", 0, 0, everything, "0"},
        {"a device for a language", {0, 3, 0, 0, "CON"}, {{"English", ""}, {"CON", ""}}, "",
         {0, 3, 0, 0, "English"}, "English", "Quellwipe English", 0, 0, {"Language"}, "0"},
        {"a pack without its main section", {0, 3, 0, 0, "Deutsch"},
         {{"English", ""}, {"Deutsch", "[Messages]\n9021=Leer.\n"}}, "",
         {0, 3, 0, 0, "English"}, "English", "Quellwipe English", 0, 0, {"Language"}, "0"},
        {"an empty language", {0, 3, 0, 0, ""}, {{"English", ""}, {"", ""}}, "",
         {0, 3, 0, 0, "English"}, "English", "Quellwipe English", 0, 0, {"Language"}, "0"},
        // Not even English: the folder is wrong, not the name, which stays.
        {"no pack at all", {0, 3, 0, 0, "Deutsch"}, {}, "",
         {0, 3, 0, 0, "Deutsch"}, "English", "Error", 0, 0, {}, "0"},
        // Its texts are English; the rules it is given are corrected; it
        // stores nothing.
        {"an unattended run", {5, 0, 7, 7, "..\\x"}, {{"English", ""}},
         R"("/s" "night" "/O1" "/T2" "/F7" "/R-1" "C:\gone.txt")",
         {5, 0, 7, 7, "..\\x"}, "English", "Quellwipe English", 0, 0, {}, ""},
    };
    // clang-format on
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        FakePlatform fake("C:\\Tools\\Qw\\Quellwipe.exe");
        fake.files.files[std::string(kProgramFolder) + std::string(kMainMovie)] = ShippedMovie();
        for (const auto& [language, text] : c.packs)
        {
            fake.files.files[std::string(kProgramFolder) + "\\Lang\\" + language + ".ini"] =
                text.empty() ? PackFor(language) : text;
        }
        fake.settings.values = {{"apppath", std::string(kProgramFolder)},
                                {"method", c.stored.method},
                                {"passcount", c.stored.passes},
                                {"folder", c.stored.folder},
                                {"remove", c.stored.remove},
                                {"language", std::string(c.stored.language)}};
        CStartedWindow window(fake.files);
        Platform platform{fake.settings, fake.system, fake.runtime,    fake.modules,
                          fake.files,    fake.codec,  fake.presenter,  fake.shell,
                          fake.ui,       window,      fake.targetsRun, fake.mutexes};
        CShredApp app(platform);
        ASSERT_EQ(app.InitInstance(c.commandLine), StartOutcome::Completed);

        EXPECT_EQ(fake.settings.writes, c.writes);
        EXPECT_EQ(fake.settings.ReadInt(kMethod, -9), c.after.method);
        EXPECT_EQ(fake.settings.ReadInt(kPassCount, -9), c.after.passes);
        EXPECT_EQ(fake.settings.ReadInt(kFolder, -9), c.after.folder);
        EXPECT_EQ(fake.settings.ReadInt(kRemove, -9), c.after.remove);
        EXPECT_EQ(fake.settings.ReadText(kLanguage, "?"), c.after.language);
        EXPECT_EQ(app.m_language, c.language);
        EXPECT_EQ(app.m_title, c.title);
        EXPECT_EQ(app.Options().folderRule, c.folderRule);
        EXPECT_EQ(app.Options().removeRule, c.removeRule);
        const bool interactive = std::string_view(c.commandLine).empty();
        EXPECT_EQ(fake.runtime.mutexNames,
                  interactive ? std::vector<std::string>{c.title} : std::vector<std::string>{});
        EXPECT_EQ(window.selected, c.selected);
        EXPECT_EQ(window.shownLanguage, interactive ? c.language : "");
        // Nothing outside Lang was ever read.
        for (const std::string& read : fake.files.reads)
        {
            EXPECT_EQ(read.find(".."), std::string::npos) << read;
        }
    }
}

} // namespace
} // namespace qw::test
