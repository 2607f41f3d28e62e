#include "app/shred_app.h"
#include "fakes/fake_platform.h"
#include "platform/setting_names.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

constexpr const char* kPack = "[Tarnwell Language Pack]\n"
                              "9006=No memory.\n9007=No COM.\n9008=No kernel.\n"
                              "9009=Start failed, code %u.\n9014=No bin functions.\n"
                              "9065=Already running.\n9606=Quellwipe Test\n";

class StartupTest : public ::testing::Test
{
protected:
    StartupTest() { m_fake.files.files["C:\\Tools\\Qw\\Lang\\English.ini"] = kPack; }

    StartOutcome Start(std::string_view line = "") { return m_app.InitInstance(line); }

    // Drives: A: removable FAT, C: fixed NTFS, D: CD-ROM, E: remote "ntfs",
    // F: RAM disk, G: fixed FAT32.
    void TypicalDrives()
    {
        auto& s = m_fake.system;
        s.driveMask = 0b1111101;
        s.driveTypes = {{"A:\\", DriveType::Removable}, {"C:\\", DriveType::Fixed},
                        {"D:\\", DriveType::CdRom},     {"E:\\", DriveType::Remote},
                        {"F:\\", DriveType::RamDisk},   {"G:\\", DriveType::Fixed}};
        s.fileSystems = {{"A:\\", "FAT"},  {"C:\\", "NTFS"}, {"D:\\", "CDFS"},
                         {"E:\\", "ntfs"}, {"F:\\", "NTFS"}, {"G:\\", "FAT32"}};
        s.sid.sid.authority = {0, 0, 0, 0, 0, 5};
        s.sid.sid.subAuthorities = {21, 0, 0, 0, 1000};
    }

    test::FakePlatform m_fake{"C:\\Tools\\Qw\\Quellwipe.exe"};
    CShredApp m_app{m_fake.platform};
};

TEST_F(StartupTest, FirstInteractiveStartWritesOnlyAppPath)
{
    EXPECT_EQ(m_app.m_exeFolder, "C:\\Tools\\Qw"); // known before the start
    EXPECT_EQ(Start(), StartOutcome::Completed);

    EXPECT_EQ(m_fake.settings.writes, std::vector<std::string>{"AppPath"});
    EXPECT_EQ(m_fake.settings.ReadText(kAppPath, ""), "C:\\Tools\\Qw");
    EXPECT_EQ(m_app.m_appPath, "C:\\Tools\\Qw");
    EXPECT_EQ(m_app.m_passCount, 3);
    EXPECT_EQ(m_app.m_savedPassCount, 3);
    EXPECT_EQ(m_app.m_method, 0);
    EXPECT_EQ(m_app.m_language, "English");
    EXPECT_EQ(m_app.m_title, "Quellwipe Test");
    EXPECT_EQ(m_fake.runtime.mutexNames, std::vector<std::string>{"Quellwipe Test"});
    EXPECT_TRUE(m_fake.runtime.hostingEnabled);
    EXPECT_EQ(m_app.m_overwriteBuffer.size(), 65536u);
    EXPECT_EQ(m_fake.mainWindow.runs, 1);
    EXPECT_EQ(m_fake.targetsRun.runs, 0);
    EXPECT_TRUE(m_fake.presenter.shown.empty());
}

TEST_F(StartupTest, StoredSettingsAreCopiedAndAppPathKept)
{
    m_fake.settings.values = {{"apppath", std::string("C:\\Tools\\Qw")},
                              {"passcount", 7},
                              {"method", 1},
                              {"language", std::string("Deutsch")}};
    m_fake.files.files["C:\\Tools\\Qw\\Lang\\Deutsch.ini"] =
        "[Tarnwell Language Pack]\n9606=Quellwipe Deutsch\n";
    EXPECT_EQ(Start(), StartOutcome::Completed);
    EXPECT_TRUE(m_fake.settings.writes.empty());
    EXPECT_EQ(m_app.m_passCount, 7);
    EXPECT_EQ(m_app.m_savedMethod, 1);
    EXPECT_EQ(m_app.m_language, "Deutsch");
    EXPECT_EQ(m_app.m_title, "Quellwipe Deutsch");
}

TEST_F(StartupTest, TargetsStartWritesNothingAndTakesNoMutex)
{
    EXPECT_EQ(Start(R"("C:\one.txt" "C:\two")"), StartOutcome::Completed);
    EXPECT_TRUE(m_fake.settings.writes.empty());
    EXPECT_EQ(m_app.m_appPath, "");
    EXPECT_TRUE(m_fake.runtime.mutexNames.empty());
    EXPECT_EQ(m_fake.mainWindow.runs, 0);
    EXPECT_EQ(m_fake.targetsRun.targetsSeen, (std::vector<std::string>{"C:\\one.txt", "C:\\two"}));
    // With an empty AppPath the packs are looked for at the drive root.
    EXPECT_EQ(m_fake.files.reads.front(), "\\Lang\\English.ini");
}

TEST_F(StartupTest, SwitchesWithoutTargetsOpenTheMainWindow)
{
    EXPECT_EQ(Start(R"("/s" "Lonely task" "/O1")"), StartOutcome::Completed);
    EXPECT_EQ(m_fake.mainWindow.runs, 1);
    EXPECT_EQ(m_fake.targetsRun.runs, 0);
}

TEST_F(StartupTest, SecondInteractiveInstanceSaysSoAndExits)
{
    m_fake.runtime.mutexResult = MutexResult::AlreadyExists;
    EXPECT_EQ(Start(), StartOutcome::ExitAtOnce);
    ASSERT_EQ(m_fake.presenter.shown.size(), 1u);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "Already running.");
    EXPECT_EQ(m_fake.presenter.shown[0].frame, 1);
    EXPECT_EQ(m_fake.presenter.shown[0].type, "info");
    EXPECT_EQ(m_fake.presenter.shown[0].size, MessageSize::Small);
    EXPECT_EQ(m_fake.mainWindow.runs, 0);
}

TEST_F(StartupTest, ComFailureWarnsAndAborts)
{
    m_fake.runtime.comInitializes = false;
    EXPECT_EQ(Start(), StartOutcome::Abort);
    ASSERT_EQ(m_fake.presenter.shown.size(), 1u);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "No COM.");
    EXPECT_EQ(m_fake.presenter.shown[0].type, "warning");
    EXPECT_EQ(m_fake.mainWindow.runs, 0);
}

TEST_F(StartupTest, FreeSpaceFunctionChoice)
{
    EXPECT_EQ(Start(), StartOutcome::Completed);
    EXPECT_EQ(m_app.m_freeSpaceFunction, FreeSpaceFunction::Extended);

    test::FakePlatform legacy;
    legacy.modules.modules["kernel32.dll"].exports = {"GetDiskFreeSpaceA"};
    CShredApp legacyApp(legacy.platform);
    EXPECT_EQ(legacyApp.InitInstance(""), StartOutcome::Completed);
    EXPECT_EQ(legacyApp.m_freeSpaceFunction, FreeSpaceFunction::Legacy);
}

TEST_F(StartupTest, MissingKernelOrFreeSpaceFunctionEndsTheStart)
{
    m_fake.modules.modules.erase("kernel32.dll");
    EXPECT_EQ(Start(), StartOutcome::Failed);
    ASSERT_EQ(m_fake.presenter.shown.size(), 1u);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "No kernel.");

    test::FakePlatform bare("C:\\Tools\\Qw\\Quellwipe.exe");
    bare.files.files["C:\\Tools\\Qw\\Lang\\English.ini"] = kPack;
    bare.modules.modules["kernel32.dll"].exports.clear();
    CShredApp app(bare.platform);
    EXPECT_EQ(app.InitInstance(""), StartOutcome::Failed);
    ASSERT_EQ(bare.presenter.shown.size(), 1u);
    EXPECT_EQ(bare.presenter.shown[0].text, "Start failed, code .");
    EXPECT_EQ(bare.mainWindow.runs, 0);
}

TEST_F(StartupTest, ProtectedFoldersInOrderWithUnresolvedOnesEmpty)
{
    m_fake.system.specialFolders = {{kFolderFonts, "C:\\WINDOWS\\Fonts"},
                                    {kFolderPrograms, "C:\\Menu\\Programs"},
                                    {kFolderDesktopDirectory, "C:\\Users\\me\\Desktop"}};
    Start();
    std::array<std::string, 8> expected = {"C:\\WINDOWS",
                                           "C:\\WINDOWS\\system32",
                                           "C:\\WINDOWS\\Fonts",
                                           "",
                                           "C:\\Menu\\Programs",
                                           "C:\\Users\\me\\Desktop",
                                           "C:\\WINDOWS\\system32\\IOSUBSYS",
                                           "C:\\WINDOWS\\system32\\VMM32"};
    EXPECT_EQ(m_app.m_protectedFolders, expected);
}

TEST_F(StartupTest, DriveTableHoldsFixedRemovableAndRemoteDrives)
{
    TypicalDrives();
    Start();
    EXPECT_EQ(m_app.m_driveRoots[0], "A:\\");
    EXPECT_EQ(m_app.m_driveRoots[1], "");
    EXPECT_EQ(m_app.m_driveRoots[2], "C:\\");
    EXPECT_EQ(m_app.m_driveRoots[3], ""); // CD-ROM
    EXPECT_EQ(m_app.m_driveRoots[4], "E:\\");
    EXPECT_EQ(m_app.m_driveRoots[5], ""); // RAM disk
    EXPECT_EQ(m_app.m_driveRoots[6], "G:\\");
    std::array<int, 7> ntfs = {0, 0, 1, 0, 1, 0, 0};
    for (int i = 0; i < 7; ++i)
    {
        EXPECT_EQ(m_app.m_ntfs[i], ntfs[i]) << char('A' + i);
    }
}

TEST_F(StartupTest, RecycleCapableShellNeedsVersion471AndBothExports)
{
    struct Case
    {
        ModuleVersion version;
        std::set<std::string> exports;
        int capable;
    };
    const std::set<std::string> both = {"SHQueryRecycleBinA", "SHEmptyRecycleBinA"};
    for (const Case& c : {Case{{4, 71}, both, 1}, Case{{4, 70}, both, 0}, Case{{5, 0}, both, 1},
                          Case{{6, 0}, {"SHQueryRecycleBinA"}, 0}})
    {
        test::FakePlatform fake;
        fake.settings.values["alertdisabled"] = 1;
        fake.modules.modules["shell32.dll"] = {c.exports, c.version};
        CShredApp app(fake.platform);
        app.InitInstance("");
        EXPECT_EQ(app.m_recycleCapable, c.capable) << c.version.major << "." << c.version.minor;
    }
}

TEST_F(StartupTest, ShellAlertIsShownUntilTicked)
{
    m_fake.modules.modules.erase("shell32.dll");
    m_fake.presenter.shellAlertAnswers = {{"Ok", false}};
    Start();
    EXPECT_EQ(m_fake.presenter.shellAlerts, 1);
    EXPECT_EQ(m_fake.settings.ReadInt(kAlertDisabled, 0), 0);

    test::FakePlatform ticked;
    ticked.modules.modules.erase("shell32.dll");
    ticked.presenter.shellAlertAnswers = {{"Ok", true}};
    CShredApp app(ticked.platform);
    app.InitInstance("");
    EXPECT_EQ(ticked.settings.ReadInt(kAlertDisabled, 0), 1);

    CShredApp again(ticked.platform);
    again.InitInstance("");
    EXPECT_EQ(ticked.presenter.shellAlerts, 1); // not shown a second time
}

TEST_F(StartupTest, UserSidIsReadOnNtWithNtfsAndACapableShell)
{
    TypicalDrives();
    Start();
    EXPECT_EQ(m_app.m_userSid, "S-1-5-21-0-0-0-1000");
    EXPECT_EQ(m_app.m_xpOrMe, 1); // the fake is version 5.1
}

TEST_F(StartupTest, UserSidIsNotReadWithoutNtfsOrOnThe9xLine)
{
    TypicalDrives();
    m_fake.system.fileSystems = {};
    Start();
    EXPECT_EQ(m_fake.system.sidReads, 0);
    EXPECT_EQ(m_app.m_userSid, "");

    test::FakePlatform me;
    me.system.version = {1, 4, 90};
    me.system.driveMask = 0b100;
    me.system.driveTypes = {{"C:\\", DriveType::Fixed}};
    me.system.fileSystems = {{"C:\\", "NTFS"}};
    CShredApp app(me.platform);
    EXPECT_EQ(app.InitInstance(""), StartOutcome::Completed);
    EXPECT_EQ(me.system.sidReads, 0);
    EXPECT_EQ(app.m_xpOrMe, 1);

    test::FakePlatform vista;
    vista.system.version = {2, 6, 0};
    CShredApp vistaApp(vista.platform);
    vistaApp.InitInstance("");
    EXPECT_EQ(vistaApp.m_xpOrMe, 0);
}

TEST_F(StartupTest, UserSidFailuresEndTheStartWithTheirCode)
{
    for (int code : {1, 2, 3})
    {
        test::FakePlatform fake("C:\\Tools\\Qw\\Quellwipe.exe");
        fake.files.files["C:\\Tools\\Qw\\Lang\\English.ini"] = kPack;
        fake.system.driveMask = 0b100;
        fake.system.driveTypes = {{"C:\\", DriveType::Fixed}};
        fake.system.fileSystems = {{"C:\\", "NTFS"}};
        if (code == 3)
        {
            fake.system.sid.sid.subAuthorities.assign(20, 1); // does not fit
        }
        else
        {
            fake.system.sid.failureCode = code;
        }
        CShredApp app(fake.platform);
        EXPECT_EQ(app.InitInstance(""), StartOutcome::Failed);
        ASSERT_EQ(fake.presenter.shown.size(), 1u);
        EXPECT_EQ(fake.presenter.shown[0].text, "Start failed, code " + std::to_string(code) + ".");
        EXPECT_EQ(fake.mainWindow.runs, 0);
    }
}

TEST_F(StartupTest, ExitLogsSuccessOnlyForACleanUnattendedRun)
{
    m_fake.settings.WriteText(kAppPath, "C:\\Qw");
    Start(R"("/s" "Nightly" "C:\f")");
    EXPECT_EQ(m_app.ExitInstance(), 0);
    EXPECT_EQ(m_fake.files.files["C:\\Qw\\log.txt"], "Task Name:Nightly\r\nSuccess\r\n\r\n");
    EXPECT_EQ(m_fake.modules.unloaded, 2); // shell32 after its check, kernel32 at exit

    test::FakePlatform failed;
    failed.settings.WriteText(kAppPath, "C:\\Qw");
    CShredApp app(failed.platform);
    app.InitInstance(R"("/s" "Nightly" "C:\f")");
    app.RecordStatus("Could not open.");
    app.ExitInstance();
    EXPECT_EQ(failed.files.files["C:\\Qw\\log.txt"],
              "Task Name:Nightly\r\nCould not open.\r\n\r\n");

    test::FakePlatform confirmed;
    confirmed.settings.WriteText(kAppPath, "C:\\Qw");
    CShredApp confirmedApp(confirmed.platform);
    confirmedApp.InitInstance(R"("C:\f")");
    confirmedApp.ExitInstance();
    EXPECT_EQ(confirmed.files.files.count("C:\\Qw\\log.txt"), 0u);
}

TEST_F(StartupTest, UnattendedMessagesAreLoggedRawInsteadOfShown)
{
    m_fake.settings.WriteText(kAppPath, "C:\\Qw");
    Start(R"("/s" "T" "C:\f")");
    CMessageWindow window = m_app.NewMessage(MessageSize::Middle);
    window.SetFrame(1);
    window.SetMessage("File %s is busy.#Close it.");
    window.SetInsert("C:\\f");
    EXPECT_EQ(m_app.ShowOrLog(window), "");
    EXPECT_TRUE(m_fake.presenter.shown.empty());
    EXPECT_EQ(m_app.m_runStatus, "File %s is busy.#Close it.");
    EXPECT_EQ(m_fake.files.files["C:\\Qw\\log.txt"],
              "Task Name:T\r\nFile %s is busy.#Close it.\r\n\r\n");
}

} // namespace
} // namespace qw
