#include "ui/flash_window.h"
#include "ui/movie_windows.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace qw
{
namespace
{

// One log for the movie, the skin, the system window and the presenter, so
// that the order across them shows.
using Log = std::vector<std::string>;

class CRecordingMovie : public IMovie
{
public:
    explicit CRecordingMovie(Log& log) : m_log(log) {}
    bool LoadMovie(const std::string& path) override
    {
        m_log.push_back("Movie " + path);
        return true;
    }
    void SetScale(const std::string& scale) override { m_log.push_back("Scale " + scale); }
    void SetAlignMode(int mode) override { m_log.push_back("AlignMode " + std::to_string(mode)); }
    void SetBackgroundColor(std::uint32_t rgb) override
    {
        m_log.push_back("BackgroundColor " + std::to_string(rgb));
    }
    void GotoFrame(int frame) override { m_log.push_back("GotoFrame " + std::to_string(frame)); }
    void SetVariable(const std::string& name, const std::string& value) override
    {
        m_log.push_back("SetVariable " + name + "=" + value);
        variables[name] = value;
    }
    std::string GetVariable(const std::string& name) override
    {
        m_log.push_back("GetVariable " + name);
        const auto found = variables.find(name);
        return found == variables.end() ? "undefined" : found->second;
    }
    void SetCommandHandler(CommandHandler handler) override { m_handler = std::move(handler); }
    // The user acts in the movie.
    void Raise(const std::string& command, const std::string& argument = "")
    {
        ASSERT_TRUE(m_handler);
        m_handler(command, argument);
    }

    std::map<std::string, std::string> variables;

private:
    Log& m_log;
    CommandHandler m_handler;
};

class CRecordingSkin : public ISkinControl
{
public:
    explicit CRecordingSkin(Log& log) : m_log(log) {}
    bool LoadSkin(const std::string& path) override
    {
        m_log.push_back("LoadSkin " + path);
        return loads;
    }
    bool ApplySkin(const std::string& region) override
    {
        m_log.push_back("ApplySkin " + region);
        return applies;
    }
    bool loads = true;
    bool applies = true;

private:
    Log& m_log;
};

class CRecordingFrame : public IWindowFrame
{
public:
    explicit CRecordingFrame(Log& log) : m_log(log) {}
    void EndModal() override { m_log.push_back("EndModal"); }
    void PostClose() override { m_log.push_back("PostClose"); }
    void BeginDrag() override { m_log.push_back("BeginDrag"); }
    void ShowPlainMessage(const std::string& text) override
    {
        m_log.push_back("MessageBox " + text);
    }
    std::string Caption() const override { return "Title"; }

private:
    Log& m_log;
};

class CRecordingPresenter : public test::CFakePresenter
{
public:
    explicit CRecordingPresenter(Log& log) : m_log(log) {}
    std::string Show(const MessageRequest& request) override
    {
        m_log.push_back("Small " + request.caption + " " + request.type + " " +
                        std::to_string(request.frame) + " " + request.text);
        return test::CFakePresenter::Show(request);
    }

private:
    Log& m_log;
};

class FlashWindowTest : public ::testing::Test
{
protected:
    CMessageFlashWindow Message(MessageSize size, int frame)
    {
        MessageRequest request;
        request.size = size;
        request.frame = frame;
        request.type = "warning";
        request.text = "Shred?\nReally";
        return CMessageFlashWindow(m_movie, &m_skin, m_frame, m_presenter, "C:\\Prog", "Deutsch",
                                   request);
    }
    // The log from `from` on.
    Log Since(std::size_t from) const { return Log(m_log.begin() + from, m_log.end()); }

    Log m_log;
    CRecordingMovie m_movie{m_log};
    CRecordingSkin m_skin{m_log};
    CRecordingFrame m_frame{m_log};
    CRecordingPresenter m_presenter{m_log};
};

TEST_F(FlashWindowTest, StartsUpInOrderSkinFirstThenMovieThenItsVariables)
{
    CMessageFlashWindow window = Message(MessageSize::Big, 3);
    EXPECT_TRUE(window.InitDialog());
    EXPECT_EQ(m_log, (Log{
                         "LoadSkin C:\\Prog\\Mask\\Mask.skn",
                         "ApplySkin Big_Mask",
                         "Movie C:\\Prog\\Lang\\Big_warnings.movie",
                         "Scale NoScale",
                         "AlignMode 1",
                         "BackgroundColor 16777215",
                         "SetVariable _root.strLanguage=Deutsch",
                         "SetVariable _root.windowtype=warning",
                         "SetVariable _root.txtmessage=Shred?\nReally",
                         "GotoFrame 3",
                     }));

    m_log.clear();
    CShellAlertFlashWindow::Input input{"English", "warning", 2, "Bin?", "Do not show"};
    CShellAlertFlashWindow alert(m_movie, &m_skin, m_frame, m_presenter, "C:\\Prog", input);
    alert.InitDialog();
    EXPECT_EQ(m_log, (Log{
                         "LoadSkin C:\\Prog\\Mask\\Mask.skn",
                         "ApplySkin Shell_Mask",
                         "Movie C:\\Prog\\Lang\\Shell_Alert.movie",
                         "Scale NoScale",
                         "AlignMode 0",
                         "BackgroundColor 16777215",
                         "SetVariable _root.strLanguage=English",
                         "SetVariable _root.windowtype=warning",
                         "GotoFrame 2",
                         "SetVariable _root.message_txt.text=Bin?",
                         "SetVariable _root.DontShow_chk.label=Do not show",
                     }));
}

TEST_F(FlashWindowTest, RoutesCommandsWithoutRegardToCaseAndIgnoresUnknownOnes)
{
    const struct
    {
        const char* command;
        const char* answer;
        Log effect;
    } cases[] = {
        {"IDC_FS_Yes", "Yes", {"EndModal"}},
        {"idc_fs_cancel", "Cancel", {"EndModal"}},
        {"IDC_FS_OK", "Ok", {"EndModal"}},
        {"Idc_Fs_No", "No", {"EndModal"}},
        {"IDC_FS_DRAG", "", {"BeginDrag"}},
        {"IDC_FS_Yess", "", {}},
        {"IDC_FS_", "", {}},
        {"", "", {}},
    };
    for (const auto& c : cases)
    {
        CMessageFlashWindow window = Message(MessageSize::Small, 4);
        window.InitDialog();
        const std::size_t mark = m_log.size();
        m_movie.Raise(c.command, "any argument");
        EXPECT_EQ(window.Answer(), c.answer) << c.command;
        EXPECT_EQ(Since(mark), c.effect) << c.command;
    }
}

TEST_F(FlashWindowTest, SkinFailureShowsTheFixedTextAndClosesWithoutTheMovie)
{
    const struct
    {
        MessageSize size;
        bool loads;
        const char* shown;
    } cases[] = {
        {MessageSize::Big, false, "Small Title info 1 Couldn't load or apply the Mask skin."},
        {MessageSize::Middle, true, "Small Title info 1 Couldn't load or apply the Mask skin."},
        // The small window cannot fall back on itself.
        {MessageSize::Small, true, "MessageBox Couldn't load or apply the Mask skin."},
    };
    for (const auto& c : cases)
    {
        m_log.clear();
        m_skin.loads = c.loads;
        m_skin.applies = false;
        CMessageFlashWindow window = Message(c.size, 3);
        EXPECT_FALSE(window.InitDialog());
        ASSERT_GE(m_log.size(), 3u);
        EXPECT_EQ(Log(m_log.end() - 2, m_log.end()), (Log{c.shown, "PostClose"}));
        for (const std::string& entry : m_log)
        {
            EXPECT_EQ(entry.find("Movie"), std::string::npos) << entry;
        }
        EXPECT_EQ(window.Answer(), "");
    }
}

TEST_F(FlashWindowTest, ShellAlertReadsTheCheckBoxOnlyOnOk)
{
    const struct
    {
        const char* command;
        const char* checked; // null: never written
        const char* answer;
        bool dontShow;
    } cases[] = {
        {"IDC_FS_Ok", "true", "Ok", true},
        {"idc_fs_ok", "false", "Ok", false},
        {"IDC_FS_Ok", nullptr, "Ok", false}, // "undefined" leaves the flag
        {"IDC_FS_Cancel", "true", "Cancel", false},
        {"IDC_FS_Yes", "true", "", false}, // not a command of this window
    };
    for (const auto& c : cases)
    {
        m_movie.variables.clear();
        CShellAlertFlashWindow alert(m_movie, &m_skin, m_frame, m_presenter, "C:\\Prog",
                                     {"English", "warning", 1, "Bin?", "Do not show"});
        alert.InitDialog();
        if (c.checked != nullptr)
        {
            m_movie.variables["_root.bChecked"] = c.checked;
        }
        m_movie.Raise(c.command);
        EXPECT_EQ(alert.Answer(), c.answer) << c.command;
        EXPECT_EQ(alert.DontShow(), c.dontShow) << c.command << " " << (c.checked ? c.checked : "");
    }
}

TEST_F(FlashWindowTest, ProgressWindowMirrorsItsLinesAndCancelsOnce)
{
    int cancels = 0;
    CProgressFlashWindow progress(m_movie, &m_skin, m_frame, m_presenter, "C:\\Prog", "English",
                                  [&] { ++cancels; });
    progress.SetLine(1, "C:\\big.bin");
    EXPECT_TRUE(progress.InitDialog());
    EXPECT_EQ(m_movie.variables["_root.Message1"], "C:\\big.bin");
    EXPECT_EQ(m_movie.variables["_root.Message3"], "");
    progress.SetLine(2, "Pass 1 of 1");
    progress.SetLine(4, "ignored");
    EXPECT_EQ(m_movie.variables["_root.Message2"], "Pass 1 of 1");
    EXPECT_EQ(m_movie.variables.count("_root.Message4"), 0u);
    m_movie.Raise("IDC_FS_Ok");
    EXPECT_EQ(cancels, 0);
    m_movie.Raise("idc_fs_CANCEL");
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(progress.Answer(), "Cancel");
    EXPECT_EQ(m_log.back(), "EndModal");
}

TEST_F(FlashWindowTest, ScheduleWindowShowsTheTriggerAndTakesBackOnlyARealOne)
{
    TaskTrigger shown;
    shown.kind = TaskTrigger::Weekly;
    shown.year = 2026, shown.month = 3, shown.day = 7, shown.hour = 9, shown.minute = 5;
    shown.weekDays = 1 | 64;
    const struct
    {
        const char* kind;
        const char* date;
        const char* time;
        const char* sunday;
        const char* saturday;
        int told; // the key told, or 0 when the window closed with the trigger
    } cases[] = {
        {"2", "2026-03-07", "09:05", "true", "true", 0},
        {"3", "2028-02-29", "23:59", "false", "false", 0},
        {"2", "2026-03-07", "09:05", "false", "false", CScheduleWindow::kKeyNoWeekDay},
        {"0", "2027-02-29", "10:00", "false", "false", CScheduleWindow::kKeyBadDateTime},
        {"0", "26-03-07", "10:00", "false", "false", CScheduleWindow::kKeyBadDateTime},
        {"0", "2026-03-07 ", "10:00", "false", "false", CScheduleWindow::kKeyBadDateTime},
        {"1", "2026-03-07", "24:00", "false", "false", CScheduleWindow::kKeyBadDateTime},
        {"1", "2026-03-07", "7:5", "false", "false", CScheduleWindow::kKeyBadDateTime},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.date) + " " + c.time);
        std::vector<int> told;
        CScheduleWindow window(m_movie, m_frame, m_presenter, "C:\\Prog", "English", "night", shown,
                               [&told](int key) { told.push_back(key); });
        window.InitDialog();
        EXPECT_EQ(m_movie.variables["_root.StartDate"], "2026-03-07");
        EXPECT_EQ(m_movie.variables["_root.StartTime"], "09:05");
        EXPECT_EQ(m_movie.variables["_root.Day0"] + m_movie.variables["_root.Day1"] +
                      m_movie.variables["_root.Day6"],
                  "truefalsetrue");
        m_movie.variables["_root.ScheduleKind"] = c.kind;
        m_movie.variables["_root.StartDate"] = c.date;
        m_movie.variables["_root.StartTime"] = c.time;
        m_movie.variables["_root.Day0"] = c.sunday;
        m_movie.variables["_root.Day6"] = c.saturday;
        m_movie.variables["_root.MonthDay"] = "17"; // beyond what the component reaches
        m_movie.Raise("IDC_FS_Ok");
        if (c.told != 0)
        {
            EXPECT_EQ(told, std::vector<int>{c.told});
            EXPECT_EQ(window.Answer(), "");
            EXPECT_EQ(window.Trigger().year, 2026);
            continue;
        }
        EXPECT_TRUE(told.empty());
        EXPECT_EQ(window.Answer(), "Ok");
        const TaskTrigger& got = window.Trigger();
        EXPECT_EQ(got.kind, std::atoi(c.kind));
        EXPECT_EQ(got.weekDays, std::string(c.sunday) == "true" ? 65 : 0);
        EXPECT_EQ(got.monthDay, 1);
        char date[64];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d", got.year, got.month, got.day,
                      got.hour, got.minute);
        EXPECT_EQ(std::string(date), std::string(c.date) + " " + c.time);
    }
}

} // namespace
} // namespace qw
