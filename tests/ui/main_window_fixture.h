#pragma once

// The main window over the movie we ship, played by the real player, with
// fakes for the program around it: what the program writes and what the
// movie then shows must agree.
#include "ui/main_window.h"

#include "fakes/fake_platform.h"
#include "platform/setting_names.h"
#include "player/movie_player.h"
#include "player/splash.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace qw::test
{

inline constexpr const char* kAppFolder = "C:\\Q";

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
    // A text set here stands in for its key, so that what is put into it shows.
    std::string Text(int key) override
    {
        auto found = texts.find(key);
        return found == texts.end() ? language + ":" + std::to_string(key) : found->second;
    }
    std::string Language() override { return language; }
    // Languages named in `packless` have no pack: English is taken.
    std::string SetLanguage(const std::string& value) override
    {
        language = packless.count(value) != 0 ? "English" : value;
        return language;
    }
    std::string AppPath() override { return kAppFolder; }
    std::string ReportsFolder() override { return reportsFolder; }
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
    void BeginRun(const std::vector<std::string>&) override { runs.push_back("begin"); }
    // A plain file unless described otherwise or missing.
    ListedEntry DescribeEntry(const std::string& path) override
    {
        auto found = described.find(path);
        if (found != described.end())
        {
            return found->second;
        }
        return missing.count(path) != 0 ? ListedEntry{} : ListedEntry{FileStatus{}, false};
    }
    bool ShredListed(const std::string& path, bool, const ListedEntry& added) override
    {
        runs.push_back(path);
        listedAs.push_back(added.status ? added.status->identity.file : 0);
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
    // Paths not named here are included.
    ScheduleCheck CheckScheduledFile(const std::string& path) override { return Check(path); }
    ScheduleCheck CheckScheduledFolder(const std::string& path) override { return Check(path); }
    ScheduleCheck Check(const std::string& path)
    {
        checked.push_back(path);
        auto found = checks.find(path);
        return found == checks.end() ? ScheduleCheck::Include : found->second;
    }

    CFakeSettingsStore settings;
    std::string language = "English";
    std::string reportsFolder = "C:\\Users\\me\\Quellwipe\\Reports";
    std::map<int, std::string> texts;
    std::vector<Message> messages;
    std::deque<std::string> answers;
    std::vector<std::string> runs;
    std::map<std::string, ScheduleCheck> checks;
    std::vector<std::string> checked;
    std::string stopAt, cancelAfter;
    std::map<std::string, ListedEntry> described;
    std::set<std::string> missing;
    std::set<std::string> packless;
    std::vector<std::uint64_t> listedAs; // the identity each shredded entry was added with
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

inline std::string ShippedMovie()
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
        host.language = language;
        host.settings.writes.clear();
        window = std::make_unique<CMainWindow>(movie, &skin, frame, presenter, kAppFolder, host,
                                               services, *scheduling, &splash);
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

    CFakeFileSystem files;
    CPlayedMovie movie{files};
    CFakePresenter presenter;
    CFrame frame;
    CSkin skin;
    CFakeHost host;
    CFakeServices services;
    CSchedulingUnavailable unavailable{host};
    IScheduling* scheduling = &unavailable;
    std::vector<std::string> splashCalls;
    CRecordingSplash splash{splashCalls};
    std::unique_ptr<CMainWindow> window;
};

} // namespace qw::test
