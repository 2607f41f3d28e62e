#include "app/targets_run.h"

#include "app/schedule_checks.h"
#include "fakes/fake_platform.h"
#include "platform/setting_names.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

constexpr const char* kPack = "[Tarnwell Language Pack]\n"
                              "9011=Cannot list.\n9034=Missing %s.\n9040=System %s?\n"
                              "9043=Not removed: %s#\n9044=Error %u: %s\n"
                              "9051=Shred these %u items?\n9052=Shred %s?\n9053=Not found: %s\n"
                              "9054=Include protected %s?\n9055=Include subfolders?\n"
                              "9056=Remove subfolders?\n9039=Protected: %s\n"
                              "9070=Cancelled.\n9077=Left partly: %s\n"
                              "9079=%s has %u more names:%t\n";

// The same small machine for every test: drives C: and D:, a tree on C:.
void Populate(test::FakePlatform& fake)
{
    fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
    fake.settings.WriteText(kAppPath, "C:\\Qw");
    fake.system.driveMask = 0b1100; // C: and D:
    fake.system.driveTypes = {{"C:\\", DriveType::Fixed}, {"D:\\", DriveType::Fixed}};
    fake.files.folders = {"C:\\", "C:\\docs", "C:\\docs\\sub", "D:\\"};
    fake.files.files["C:\\docs\\a.txt"] = "aaa";
    fake.files.files["C:\\docs\\sub\\b.txt"] = "bbb";
    fake.files.files["C:\\top.txt"] = "top";
    fake.files.files["D:\\keep.txt"] = "keep";
}

class TargetsRunTest : public ::testing::Test
{
protected:
    TargetsRunTest() { Populate(m_fake); }

    StartOutcome Start(std::string_view line)
    {
        m_app.m_seedSource = [] { return 77; };
        return m_app.InitInstance(line);
    }

    std::string Log() { return m_fake.files.files["C:\\Qw\\log.txt"]; }

    test::FakePlatform m_fake{"C:\\Qw\\Quellwipe.exe"};
    CShredApp m_app{m_fake.platform};
    CTargetsRun m_run;
};

TEST_F(TargetsRunTest, ConfirmedRunAsksOnceWithTheDisplayPath)
{
    m_fake.shell.displayPaths["C:\\top.txt"] = "C:\\TOP.TXT";
    m_fake.presenter.answers = {"No"};
    Start(R"("C:\top.txt")");
    m_run.Run(m_app);
    ASSERT_EQ(m_fake.presenter.shown.size(), 1u);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "Shred C:\\TOP.TXT?");
    EXPECT_EQ(m_fake.presenter.shown[0].frame, 3);
    EXPECT_EQ(m_fake.presenter.shown[0].type, "warning");
    EXPECT_EQ(m_fake.files.files["C:\\top.txt"], "top");

    m_fake.presenter.answers = {"Yes"};
    m_run.Run(m_app);
    EXPECT_EQ(m_fake.files.files.count("C:\\top.txt"), 0u);
    EXPECT_EQ(m_fake.ui.window, nullptr); // destroyed at the end
}

TEST_F(TargetsRunTest, SeveralTargetsAskWithTheirCountAndRecycleByName)
{
    m_fake.presenter.answers = {"Cancel"};
    Start(R"("C:\top.txt" "C:\docs" "recycle")");
    m_run.Run(m_app);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "Shred these 3 items?");

    test::FakePlatform verb("C:\\Qw\\Quellwipe.exe");
    verb.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
    verb.settings.WriteText(kAppPath, "C:\\Qw");
    CShredApp app(verb.platform);
    app.InitInstance("recycle");
    m_run.Run(app);
    EXPECT_EQ(verb.presenter.shown[0].text, "Shred the Recycle Bin?");
}

TEST_F(TargetsRunTest, UnattendedFolderRunRemovesTheEmptiedFolderAndLogsSuccess)
{
    Start(R"("/s" "Clean docs" "/O1" "/T1" "/F2" "/R2" "C:\docs")");
    m_run.Run(m_app);
    m_app.ExitInstance();
    EXPECT_TRUE(m_fake.presenter.shown.empty());
    EXPECT_EQ(m_fake.files.folders.count("C:\\docs"), 0u);
    EXPECT_EQ(m_fake.files.files.count("C:\\docs\\sub\\b.txt"), 0u);
    EXPECT_EQ(Log(), "Task Name:Clean docs\r\nSuccess\r\n\r\n");
}

TEST_F(TargetsRunTest, AFolderThatKeepsSubfoldersStays)
{
    Start(R"("/s" "t" "/F0" "C:\docs\")");
    m_run.Run(m_app);
    EXPECT_EQ(m_fake.files.files.count("C:\\docs\\a.txt"), 0u);
    EXPECT_EQ(m_fake.files.folders.count("C:\\docs"), 1u);
    EXPECT_EQ(m_fake.files.files["C:\\docs\\sub\\b.txt"], "bbb");
}

TEST_F(TargetsRunTest, AnEmptiedFolderThatCannotBeRemovedIsLoggedWithTheSystemError)
{
    m_fake.files.failRemove = {"C:\\docs"};
    Start(R"("/s" "t" "/F2" "/R2" "C:\docs")");
    m_run.Run(m_app);
    m_app.ExitInstance();
    EXPECT_EQ(Log(), "Task Name:t\r\nNot removed: C:\\docs#Error 5: System error 5\r\n\r\n");
}

TEST_F(TargetsRunTest, TargetsNotFoundAreLoggedUnattendedAndEndAConfirmedRun)
{
    Start(R"("/s" "t" "C:\missing.txt" "C:\top.txt")");
    m_run.Run(m_app);
    m_app.ExitInstance();
    EXPECT_EQ(m_fake.files.files.count("C:\\top.txt"), 0u);
    EXPECT_EQ(Log(), "Task Name:t\r\nNot found: %s\r\n\r\n");

    test::FakePlatform confirmed("C:\\Qw\\Quellwipe.exe");
    confirmed.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
    confirmed.files.files["C:\\two.txt"] = "2";
    confirmed.settings.WriteText(kAppPath, "C:\\Qw");
    confirmed.presenter.answers = {"Yes", ""};
    CShredApp app(confirmed.platform);
    app.InitInstance(R"("C:\missing.txt" "C:\two.txt")");
    m_run.Run(app);
    ASSERT_EQ(confirmed.presenter.shown.size(), 2u);
    EXPECT_EQ(confirmed.presenter.shown[1].text, "Not found: C:\\missing.txt");
    EXPECT_EQ(confirmed.presenter.shown[1].frame, 2);
    EXPECT_EQ(confirmed.files.files["C:\\two.txt"], "2"); // the run ended
}

TEST_F(TargetsRunTest, ADriveRootIsNeverShreddedAsAFolder)
{
    Start(R"("/s" "t" "/F2" "/R2" "c:\" "D:")");
    m_run.Run(m_app);
    EXPECT_EQ(m_fake.files.files["C:\\top.txt"], "top");
    EXPECT_EQ(m_fake.files.files["C:\\docs\\a.txt"], "aaa");
    EXPECT_EQ(m_fake.files.files["D:\\keep.txt"], "keep");
    // The lower-case root names drive C: and gets its free space wiped;
    // "D:" without the backslash is no root of the drive table: not found.
    auto& events = m_fake.files.events;
    EXPECT_NE(std::find(events.begin(), events.end(), "mkdir C:\\SHREDTMP.$$$"), events.end());
    EXPECT_EQ(std::find(events.begin(), events.end(), "mkdir D:\\SHREDTMP.$$$"), events.end());
    EXPECT_NE(Log().find("Not found: %s"), std::string::npos) << Log();
}

TEST_F(TargetsRunTest, ALinkTargetIsRemovedAndItsTargetKept)
{
    m_fake.files.links["C:\\shortcut"] = true;
    Start(R"("/s" "t" "C:\shortcut")");
    m_run.Run(m_app);
    EXPECT_EQ(m_fake.files.links.count("C:\\shortcut"), 0u);
    EXPECT_EQ(m_fake.files.files["C:\\docs\\a.txt"], "aaa");
}

TEST_F(TargetsRunTest, CancelAfterATargetEndsTheRun)
{
    m_fake.files.files["C:\\second.txt"] = "2";
    m_fake.ui.cancelAtPump = 1;
    Start(R"("/s" "t" "C:\top.txt" "C:\second.txt")");
    m_app.m_cancel = 1; // a stale flag is cleared when the run starts
    m_run.Run(m_app);
    EXPECT_EQ(m_fake.files.files["C:\\top.txt"], std::string(3, '\0')); // written, then left
    EXPECT_EQ(m_fake.files.files["C:\\second.txt"], "2");
}

class ScheduleChecksTest : public TargetsRunTest
{
protected:
    ScheduleChecksTest() { Start(""); }
};

TEST_F(ScheduleChecksTest, FileChecks)
{
    EXPECT_EQ(CheckFileForSchedule(m_app, "C:\\top.txt"), CheckResult::Include);
    EXPECT_EQ(CheckFileForSchedule(m_app, "C:\\none.txt"), CheckResult::Skip);
    EXPECT_EQ(m_fake.presenter.shown.back().text, "Missing C:\\none.txt.");

    m_fake.files.attributes["C:\\top.txt"].hidden = true;
    m_fake.presenter.answers = {"Cancel", "No", "Yes", "", "Ok"};
    EXPECT_EQ(CheckFileForSchedule(m_app, "C:\\top.txt"), CheckResult::Abort);
    EXPECT_EQ(m_fake.presenter.shown.back().frame, 4);
    EXPECT_EQ(m_fake.presenter.shown.back().size, MessageSize::Middle);
    EXPECT_EQ(CheckFileForSchedule(m_app, "C:\\top.txt"), CheckResult::Skip);
    EXPECT_EQ(CheckFileForSchedule(m_app, "C:\\top.txt"), CheckResult::Include);
    // Inside a folder every answer but Cancel includes.
    EXPECT_EQ(CheckFileForSchedule(m_app, "C:\\top.txt", true), CheckResult::Include);
    EXPECT_EQ(m_fake.presenter.shown.back().frame, 2);
    EXPECT_EQ(CheckFileForSchedule(m_app, "C:\\top.txt", true), CheckResult::Include);
}

TEST_F(ScheduleChecksTest, FolderCheckStoresTheRuleAnswers)
{
    m_fake.settings.WriteInt(kFolder, 1);
    m_fake.settings.WriteInt(kRemove, 1);
    m_fake.presenter.answers = {"Yes", "No"};
    EXPECT_EQ(CheckFolderForSchedule(m_app, "C:\\docs"), CheckResult::Include);
    EXPECT_EQ(m_fake.settings.ReadInt(kFolder, -1), 2);
    EXPECT_EQ(m_fake.settings.ReadInt(kRemove, -1), 0);
    EXPECT_EQ(m_fake.presenter.shown.size(), 2u);

    m_fake.settings.WriteInt(kFolder, 1);
    m_fake.presenter.answers = {"No"};
    EXPECT_EQ(CheckFolderForSchedule(m_app, "C:\\docs"), CheckResult::Include);
    EXPECT_EQ(m_fake.settings.ReadInt(kFolder, -1), 0);

    m_fake.settings.WriteInt(kFolder, 1);
    m_fake.presenter.answers = {""};
    EXPECT_EQ(CheckFolderForSchedule(m_app, "C:\\docs"), CheckResult::Abort);
}

TEST_F(ScheduleChecksTest, FolderCheckFailures)
{
    m_fake.files.attributes["C:\\docs"].system = true;
    m_fake.presenter.answers = {"No"};
    EXPECT_EQ(CheckFolderForSchedule(m_app, "C:\\docs"), CheckResult::Abort);
    m_fake.files.attributes.erase("C:\\docs");
    EXPECT_EQ(CheckFolderForSchedule(m_app, "C:\\nowhere"), CheckResult::Abort);
    EXPECT_EQ(m_fake.presenter.shown.back().text, "Cannot list.");
    m_fake.files.attributes["C:\\docs\\a.txt"].readOnly = true;
    m_fake.presenter.answers = {"Cancel"};
    EXPECT_EQ(CheckFolderForSchedule(m_app, "C:\\docs"), CheckResult::Abort);
}

TEST_F(TargetsRunTest, AliasesOfRootsAndProtectedFoldersAreSeenThrough)
{
    enum Outcome
    {
        Wiped,
        Protected,
        NotFound,
        ShredsDotted, // "C:\td\bar." goes, "C:\td\bar" stays
    };
    struct Case
    {
        const char* target;
        Outcome outcome;
    };
    const Case cases[] = {
        {R"(C:\.)", Wiped},
        {R"(c:\docs\sub\..\..)", Wiped},
        {R"(C:/)", Wiped},
        {R"(\\?\C:\)", Wiped},
        {R"(C:\..\..)", Wiped},
        {R"(C:\WINDOWS\.)", Protected},
        {R"(C:\WINDOWS\system32\..)", Protected},
        {R"(C:\WINDOWS\)", Protected},
        {R"(C:/WINDOWS)", Protected},
        // Trailing dots and blanks are part of a name: another, missing file.
        {R"(C:\WINDOWS.)", NotFound},
        {R"(C:\WINDOWS )", NotFound},
        {R"(C:)", NotFound},
        {R"(C:\td\bar.)", ShredsDotted},
        // Rooted and relative names, completed against the current folder
        // C:\Work, are read the same way.
        {R"(\.)", Wiped},
        {R"(\docs\sub\..\..)", Wiped},
        {R"(\WINDOWS\.)", Protected},
        {R"(\WINDOWS\system32\..)", Protected},
        {R"(\WINDOWS.)", NotFound},
        {R"(\td\bar.)", ShredsDotted},
        {R"(..)", Wiped},
        {R"(.\..\WINDOWS\system32\..)", Protected},
        {R"(..\WINDOWS )", NotFound},
        {R"(..\td\bar.)", ShredsDotted},
        {"", NotFound}, // not the current folder
    };
    for (const Case& c : cases)
    {
        test::FakePlatform fake("C:\\Qw\\Quellwipe.exe");
        Populate(fake);
        fake.files.folders.insert({"C:\\WINDOWS", "C:\\WINDOWS\\system32"});
        fake.files.files["C:\\WINDOWS\\win.ini"] = "w";
        fake.files.folders.insert({"C:\\Work", "C:\\td"});
        fake.files.files["C:\\Work\\w.txt"] = "w";
        fake.files.files["C:\\td\\bar"] = "plain";
        fake.files.files["C:\\td\\bar."] = "dotted";
        CShredApp app(fake.platform);
        app.InitInstance(std::string(R"("/s" "t" "/F2" "/R2" ")") + c.target + "\"");
        m_run.Run(app);
        const auto& events = fake.files.events;
        bool wiped =
            std::find(events.begin(), events.end(), "mkdir C:\\SHREDTMP.$$$") != events.end();
        std::string log = fake.files.files["C:\\Qw\\log.txt"];
        EXPECT_EQ(wiped, c.outcome == Wiped) << c.target;
        EXPECT_EQ(log.find("Protected: %s") != std::string::npos, c.outcome == Protected)
            << c.target << log;
        EXPECT_EQ(log.find("Not found: %s") != std::string::npos, c.outcome == NotFound)
            << c.target << log;
        // Nothing of the drive was shredded as a folder.
        EXPECT_EQ(fake.files.files["C:\\WINDOWS\\win.ini"], "w") << c.target;
        EXPECT_EQ(fake.files.files["C:\\top.txt"], "top") << c.target;
        EXPECT_EQ(fake.files.folders.count("C:\\WINDOWS"), 1u) << c.target;
        EXPECT_EQ(fake.files.files["C:\\Work\\w.txt"], "w") << c.target;
        EXPECT_EQ(fake.files.files["C:\\td\\bar"], "plain") << c.target;
        EXPECT_EQ(fake.files.files.count("C:\\td\\bar."), c.outcome == ShredsDotted ? 0u : 1u)
            << c.target;
    }
}

TEST_F(TargetsRunTest, AnEmptyProtectedFolderIsReportedAndKept)
{
    m_fake.files.folders.insert("C:\\WINDOWS");
    Start(R"("/s" "t" "/F2" "/R2" "C:\WINDOWS")");
    m_run.Run(m_app);
    m_app.ExitInstance();
    EXPECT_EQ(m_fake.files.folders.count("C:\\WINDOWS"), 1u);
    EXPECT_EQ(Log(), "Task Name:t\r\nProtected: %s\r\n\r\n");
}

TEST_F(TargetsRunTest, ACancelledRunSaysSoAndNeverLogsSuccess)
{
    m_fake.files.files["C:\\second.txt"] = std::string(300000, 's');
    m_fake.ui.cancelAtPump = 2;
    Start(R"("/s" "t" "/O0" "C:\second.txt" "C:\top.txt")");
    m_run.Run(m_app);
    m_app.ExitInstance();
    EXPECT_EQ(m_fake.files.files["C:\\top.txt"], "top"); // never reached
    // The file being written is named: it is still there, partly overwritten.
    EXPECT_EQ(m_fake.files.files["C:\\second.txt"].substr(131072, 3), "sss");
    EXPECT_EQ(Log(), "Task Name:t\r\nLeft partly: C:\\second.txt\r\n\r\nCancelled.\r\n\r\n");
}

// A file with other names is overwritten only when the run shreds every one
// of them; otherwise only the name given goes and the others are shown.
TEST_F(TargetsRunTest, AHardLinkedFileIsOverwrittenOnlyWhenAllItsNamesAreShredded)
{
    struct Case
    {
        const char* line;
        int subfolders;
        bool overwritten;
    } cases[] = {
        {R"("C:\top.txt")", 2, false},
        {R"("C:\top.txt" "C:\docs")", 2, true},
        {R"("C:\top.txt" "c:\DOCS\")", 2, true},
        // "sub\two.txt" lies in a subfolder the run leaves alone, or may.
        {R"("C:\top.txt" "C:\docs")", 0, false},
        {R"("C:\top.txt" "C:\docs")", 1, false},
        {R"("C:\top.txt" "C:\docs\one.txt")", 2, false},
        {R"("C:\top.txt" "C:\docs\one.txt" "C:\docs\sub\two.txt")", 0, true},
        // A drive root's free space is wiped; a protected folder is refused.
        {R"("C:\top.txt" "C:\")", 2, false},
        {R"("C:\top.txt" "C:\docs" "protect")", 2, false},
    };
    for (const Case& c : cases)
    {
        test::FakePlatform fake{"C:\\Qw\\Quellwipe.exe"};
        Populate(fake);
        fake.files.attributes["C:\\top.txt"].linkCount = 3;
        fake.files.otherNames["C:\\top.txt"] = {"C:\\docs\\one.txt", "C:\\docs\\sub\\two.txt"};
        fake.settings.WriteInt(kFolder, c.subfolders);
        if (std::string_view(c.line).ends_with("\"protect\""))
        {
            fake.system.windowsDirectory = "C:\\docs\\sub";
        }
        fake.presenter.answers = {"Yes", "OK", "OK", "OK"};
        CShredApp app{fake.platform};
        app.InitInstance(c.line);
        m_run.Run(app);
        SCOPED_TRACE(c.line);
        EXPECT_EQ(fake.files.files.count("C:\\top.txt"), 0u);
        bool written = false;
        for (const auto& write : fake.files.writes)
        {
            written = written || write.path == "C:\\top.txt";
        }
        EXPECT_EQ(written, c.overwritten);
        const bool shown =
            fake.presenter.shown.size() > 1 &&
            fake.presenter.shown[1].text ==
                "C:\\top.txt has 2 more names:\nC:\\docs\\one.txt\nC:\\docs\\sub\\two.txt";
        EXPECT_EQ(shown, !c.overwritten);
    }
}

// Wine shows a link to a file as the file itself, and removing it would
// reach that file: such a link stays, named in the log, without Success.
TEST_F(TargetsRunTest, AFileLinkThatCannotBeRemovedIsLoggedAndItsTargetNeverOpened)
{
    m_fake.files.files["C:\\Qw\\Lang\\English.ini"] += "9083=Link kept: %s\n";
    for (const char* link : {"C:\\docs\\l.txt", "C:\\l.txt"})
    {
        m_fake.files.links[link] = false;
        m_fake.files.attributes[link].linkStays = true;
    }
    Start(R"("/s" "t" "/F2" "/R2" "C:\l.txt" "C:\docs")");
    m_run.Run(m_app);
    m_app.ExitInstance();
    EXPECT_EQ(Log(),
              "Task Name:t\r\nLink kept: C:\\l.txt\r\n\r\nLink kept: C:\\docs\\l.txt\r\n\r\n");
    EXPECT_EQ(m_fake.files.links.size(), 2u);
    EXPECT_EQ(m_fake.files.files["D:\\keep.txt"], "keep");
    for (const auto& event : m_fake.files.events)
    {
        EXPECT_EQ(event.find("l.txt"), std::string::npos) << event;
    }
}

TEST_F(TargetsRunTest, AHashInAFolderPathStaysInTheReport)
{
    m_fake.files.folders.insert("C:\\a#b");
    m_fake.files.failRemove = {"C:\\a#b"};
    m_fake.presenter.answers = {"Yes"};
    m_fake.settings.WriteInt(kFolder, 2);
    Start(R"("C:\a#b")");
    m_run.Run(m_app);
    ASSERT_EQ(m_fake.presenter.shown.size(), 2u);
    EXPECT_EQ(m_fake.presenter.shown[1].text, "Not removed: C:\\a#b\nError 5: System error 5");
}

} // namespace
} // namespace qw
