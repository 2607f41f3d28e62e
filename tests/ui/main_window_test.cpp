// The main window's commands over the movie we ship, played by the real
// player: what the program writes and what the movie then shows must agree.
#include "ui/main_window.h"

#include "app/setting_names.h"
#include "fakes/fake_platform.h"
#include "player/movie_player.h"
#include "player/splash.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <sstream>

namespace qw
{
namespace
{

constexpr const char* kAppFolder = "C:\\Q";

// The shipped movie, with the user's hands on it.
class CPlayedMovie : public CMoviePlayer
{
public:
    using CMoviePlayer::CMoviePlayer;
    void Press(const std::string& id) { Raise(MutableState().Press(Find(id))); }
    void Pick(const std::string& id, std::size_t index)
    {
        Raise(MutableState().Select(Find(id), index));
    }
    std::vector<std::string> Items(const std::string& id) { return State().Items(Find(id)); }

private:
    const Control& Find(const std::string& id)
    {
        const Control* control = State().Find(id);
        EXPECT_NE(control, nullptr) << id;
        return *control;
    }
};

struct Message
{
    int frame;
    std::string type, text, insert;
};

class CFakeHost : public IMainWindowHost
{
public:
    ISettingsStore& Settings() override { return settings; }
    std::string Text(int key) override { return language + ":" + std::to_string(key); }
    std::string Language() override { return language; }
    void SetLanguage(const std::string& value) override { language = value; }
    std::string AppPath() override { return kAppFolder; }
    std::string ShowSmall(int frame, std::string_view type, const std::string& text,
                          const std::string& insert) override
    {
        messages.push_back({frame, std::string(type), text, insert});
        if (answers.empty())
        {
            return "Ok";
        }
        std::string answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool FileExists(const std::string&) override { return false; }
    std::vector<std::string> DriveNames() override { return {"C:", "E:"}; }
    void BeginRun() override { runs.push_back("begin"); }
    bool ShredTarget(const std::string& path) override
    {
        runs.push_back(path);
        if (path == cancelAfter)
        {
            cancelled = true;
        }
        return path != stopAt;
    }
    bool Cancelled() override { return cancelled; }
    void EndRun() override { runs.push_back("end"); }
    void WipeFreeSpace(const std::string& root) override { runs.push_back("wipe " + root); }
    void ShredRecycleBin() override { runs.push_back("bin"); }

    test::CFakeSettingsStore settings;
    std::string language = "English";
    std::vector<Message> messages;
    std::deque<std::string> answers;
    std::vector<std::string> runs;
    std::string stopAt, cancelAfter;
    bool cancelled = false;
};

class CFakeServices : public IMainWindowServices
{
public:
    void PrepareFrame() override { calls.push_back("frame"); }
    std::optional<std::vector<std::string>> ChooseFiles() override { return chosenFiles; }
    std::optional<std::string> ChooseFolder() override { return chosenFolder; }
    void Open(const std::string& file, const std::string& folder, bool maximised) override
    {
        calls.push_back("open " + file + " in " + folder + (maximised ? " max" : ""));
    }
    void Minimise() override { calls.push_back("minimise"); }
    void EnableWindow(bool) override {}
    bool EditSubfolderRules(int& shredRule, int& removeRule) override
    {
        calls.push_back("rules " + std::to_string(shredRule) + std::to_string(removeRule));
        if (!rulesAnswer)
        {
            return false;
        }
        shredRule = rulesAnswer->first;
        removeRule = rulesAnswer->second;
        return true;
    }
    void ShowAbout(int frame) override { calls.push_back("about " + std::to_string(frame)); }

    std::vector<std::string> calls;
    std::optional<std::vector<std::string>> chosenFiles;
    std::optional<std::string> chosenFolder;
    std::optional<std::pair<int, int>> rulesAnswer;
};

class CRecordingSplash : public ISplashControl
{
public:
    explicit CRecordingSplash(std::vector<std::string>& calls) : m_calls(calls) {}
    bool Load(const std::string& path) override
    {
        m_calls.push_back("splash " + path);
        return true;
    }
    void SetDelay(int milliseconds) override
    {
        m_calls.push_back("delay " + std::to_string(milliseconds));
    }
    void SetModal(bool modal) override { m_calls.push_back(modal ? "modal" : "modeless"); }

private:
    std::vector<std::string>& m_calls;
};

class CSkin : public ISkinControl
{
public:
    bool LoadSkin(const std::string&) override { return true; }
    bool ApplySkin(const std::string& region) override { return region == "Mask"; }
};

class CFrame : public IWindowFrame
{
public:
    void EndModal() override { ended = true; }
    void PostClose() override {}
    void BeginDrag() override {}
    void ShowPlainMessage(const std::string&) override {}
    std::string Caption() const override { return "Quellwipe"; }
    bool ended = false;
};

std::string ShippedMovie()
{
    std::ifstream in(QW_DATA_DIR "/Lang/Quellwipe.movie", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class MainWindow : public testing::Test
{
protected:
    void Start(int method = 0, int passes = 3, const std::string& language = "English")
    {
        files.folders.insert(kAppFolder);
        files.folders.insert(std::string(kAppFolder) + "\\Lang");
        files.files[std::string(kAppFolder) + "\\Lang\\Quellwipe.movie"] = ShippedMovie();
        host.settings.WriteInt(kMethod, method);
        host.settings.WriteInt(kPassCount, passes);
        host.settings.WriteText(kLanguage, language);
        host.settings.writes.clear();
        window = std::make_unique<CMainWindow>(movie, &skin, frame, presenter, kAppFolder, host,
                                               services, scheduling, &splash);
        ASSERT_TRUE(window->InitDialog());
        ASSERT_TRUE(movie.GetDiagnostics().empty()) << FormatDiagnostic(movie.GetDiagnostics()[0]);
    }
    std::string Var(const std::string& name) { return movie.GetVariable(name); }
    // The movie's list and the program's, which must stay in step.
    void ExpectFiles(const std::vector<std::string>& expected)
    {
        EXPECT_EQ(movie.Items("files"), expected);
        EXPECT_EQ(window->Files(), expected);
    }

    test::CFakeFileSystem files;
    CPlayedMovie movie{files};
    test::CFakePresenter presenter;
    CFrame frame;
    CSkin skin;
    CFakeHost host;
    CFakeServices services;
    CSchedulingUnavailable scheduling{host};
    std::vector<std::string> splashCalls;
    CRecordingSplash splash{splashCalls};
    std::unique_ptr<CMainWindow> window;
};

TEST_F(MainWindow, StartUpCorrectsStoredValuesAndSelectsTheLanguage)
{
    struct Case
    {
        int method, passes;
        std::string language;
        int shownMethod, shownPasses;
        std::vector<std::string> writes;
        std::string selected;
    };
    const Case cases[] = {
        {5, 0, "english", 0, 3, {"Method", "PassCount"}, "0"},
        {1, 10, "Deutsch", 1, 10, {}, "1"},
        {-1, 11, "DEUTSCH", 0, 3, {"Method", "PassCount"}, "1"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.language);
        TearDown();
        host = CFakeHost();
        splashCalls.clear();
        Start(c.method, c.passes, c.language);
        EXPECT_EQ(Var("_root.QkShred_Selected"), std::to_string(c.shownMethod));
        EXPECT_EQ(Var("_root.RepeatCount"), std::to_string(c.shownPasses));
        EXPECT_EQ(host.settings.writes, c.writes);
        EXPECT_EQ(host.settings.ReadInt(kPassCount, -7), c.shownPasses);
        EXPECT_EQ(Var("_root.LastSelectedLang"), c.selected);
        // The movie's own list survives the program's seeding.
        EXPECT_EQ(movie.Items("language"), (std::vector<std::string>{"English", "Deutsch"}));
        EXPECT_EQ(Var("_root.strLanguage"), c.language);
    }
    EXPECT_EQ(services.calls.front(), "frame");
    EXPECT_EQ(splashCalls, (std::vector<std::string>{"splash C:\\Q\\Mask\\QW_Splash.spl", "delay 0",
                                                     "modeless"}));
}

TEST_F(MainWindow, PickingALanguageSwitchesAtOnceAndTellsInTheNewOne)
{
    Start();
    movie.Pick("language", 1);
    EXPECT_EQ(host.language, "Deutsch");
    EXPECT_EQ(host.settings.ReadText(kLanguage, ""), "Deutsch");
    EXPECT_EQ(Var("_root.LastSelectedLang"), "1");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Deutsch:9061");
    EXPECT_EQ(host.messages[0].type, "info");
}

TEST_F(MainWindow, FileListsRefuseDuplicatesAndStayInStepWithTheMovie)
{
    Start();
    services.chosenFiles = std::vector<std::string>{"C:\\b"};
    movie.Press("addFiles");
    services.chosenFiles = std::vector<std::string>{"C:\\a", "C:\\b", "C:\\B"};
    movie.Press("addFiles");
    EXPECT_EQ(Var("_root.FilesStr"), "C:\\a|C:\\B");
    ExpectFiles({"C:\\b", "C:\\a", "C:\\B"});
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "English:1000");
    EXPECT_EQ(host.messages[0].insert, "C:\\b");

    movie.Press("removeFile"); // nothing selected
    EXPECT_EQ(host.messages.back().text, "English:9018");
    movie.Pick("files", 1);
    movie.Press("removeFile");
    ExpectFiles({"C:\\b", "C:\\B"});

    host.answers = {"No"};
    movie.Press("removeFiles");
    EXPECT_EQ(host.messages.back().type, "warning");
    EXPECT_EQ(host.messages.back().frame, 3);
    ExpectFiles({"C:\\b", "C:\\B"});
    host.answers = {"Yes"};
    movie.Press("removeFiles");
    ExpectFiles({});
    movie.Press("removeFiles");
    EXPECT_EQ(host.messages.back().text, "English:9068");

    // Folders: remove all asks as information; a dropped folder joins them.
    movie.Pick("panels", 1);
    window->AddDropped({"C:\\f", "C:\\x.txt"}, {true, false});
    EXPECT_EQ(movie.Items("folders"), (std::vector<std::string>{"C:\\f"}));
    ExpectFiles({"C:\\x.txt"});
    host.answers = {"Yes"};
    movie.Press("removeFolders");
    EXPECT_EQ(host.messages.back().type, "info");
    EXPECT_TRUE(window->Folders().empty());
    EXPECT_TRUE(movie.Items("folders").empty());
}

TEST_F(MainWindow, ShredNowAsksRunsUntilAStopAndEmptiesBothSides)
{
    Start();
    movie.Press("shredFiles");
    EXPECT_EQ(host.messages.back().text, "English:9021");
    services.chosenFiles = std::vector<std::string>{"C:\\1", "C:\\2", "C:\\3"};
    movie.Press("addFiles");
    host.answers = {"No"};
    movie.Press("shredFiles");
    EXPECT_TRUE(host.runs.empty());
    ExpectFiles({"C:\\1", "C:\\2", "C:\\3"});

    host.stopAt = "C:\\2";
    host.answers = {"Yes"};
    movie.Press("shredFiles");
    EXPECT_EQ(host.runs, (std::vector<std::string>{"begin", "C:\\1", "C:\\2", "end"}));
    ExpectFiles({});

    // A cancel between folders drops the rest.
    host.runs.clear();
    movie.Pick("panels", 1);
    for (const char* folder : {"C:\\d1", "C:\\d2"})
    {
        services.chosenFolder = folder;
        movie.Press("addFolder");
    }
    host.cancelAfter = "C:\\d1";
    host.answers = {"Yes"};
    movie.Press("shredFolders");
    EXPECT_EQ(host.runs, (std::vector<std::string>{"begin", "C:\\d1", "end"}));
    EXPECT_TRUE(window->Folders().empty());
    EXPECT_TRUE(movie.Items("folders").empty());
}

TEST_F(MainWindow, SettingsAndPanels)
{
    Start();
    // Close keeps the movie's values, corrected.
    movie.SetVariable("_root.RepeatCount", "12");
    movie.Press("thorough");
    EXPECT_EQ(host.settings.ReadInt(kMethod, -1), 1);
    movie.Press("close");
    EXPECT_TRUE(frame.ended);
    EXPECT_EQ(host.settings.ReadInt(kPassCount, -1), 3);

    // Sub-folder options write only what changed, nothing on Cancel.
    host.settings.WriteInt(kFolder, 1);
    host.settings.writes.clear();
    movie.Pick("panels", 1);
    movie.Press("subfolders");
    services.rulesAnswer = {1, 2};
    movie.Press("subfolders");
    EXPECT_EQ(host.settings.writes, (std::vector<std::string>{"Remove"}));

    // The drive panel fills when shown and wipes the drive picked.
    movie.Pick("panels", 2);
    EXPECT_EQ(Var("_root.DrivesNames"), "C:|E:");
    EXPECT_EQ(movie.Items("drives"), (std::vector<std::string>{"C:", "E:"}));
    movie.Pick("drives", 1);
    movie.Press("wipe");
    EXPECT_EQ(host.runs.back(), "wipe E:\\");

    // Scheduling is not there yet: each command says so.
    host.messages.clear();
    movie.Press("scheduleDrive");
    movie.Pick("panels", 4);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, "English:9060");

    movie.Press("help");
    EXPECT_EQ(services.calls.back(), "open C:\\Q\\HLP\\Quellwipe.chm in  max");
}

} // namespace
} // namespace qw
