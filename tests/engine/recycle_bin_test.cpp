#include "engine/recycle_bin.h"

#include "app/setting_names.h"
#include "app/shred_app.h"
#include "app/targets_run.h"
#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

constexpr const char* kPack = "[Tarnwell Language Pack]\n"
                              "9014=No bin functions.\n9015=The bin is empty.\n"
                              "9034=Cannot list %s.\n9048=Bin query failed.\n9049=Shred the bin?\n"
                              "9050=Stopped on %c: (%c:), not %c.\n9062=Warning: bin.\n"
                              "9902=Shredding the bin\n9913=Drive \n11000=Do not show again\n";
constexpr const char* kSid = "S-1-5-21-1-2-3-1000";

class RecycleBinTest : public ::testing::Test
{
protected:
    RecycleBinTest()
    {
        m_fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
        m_fake.settings.WriteText(kAppPath, "C:\\Qw");
        m_app.InitInstance("");
        m_app.m_userSid = kSid;
        m_app.m_driveRoots = {};
        m_app.m_driveRoots[2] = "C:\\";
        m_app.m_driveRoots[3] = "D:\\";
        m_app.m_driveRoots[4] = "E:\\";
        m_app.m_seedSource = [] { return 5; };
    }

    void Bin(const std::string& root, const std::string& folder, std::uint64_t size)
    {
        m_fake.shell.bins[root] = BinQuery{0, size, 1};
        m_fake.shell.binFolders[root].push_back(folder);
        std::string parent = folder.substr(0, folder.rfind('\\'));
        m_fake.files.folders.insert(parent);
        m_fake.files.folders.insert(folder);
    }
    void Item(const std::string& path, const std::string& content)
    {
        m_fake.files.files[path] = content;
    }
    bool Written(const std::string& path) const
    {
        for (const auto& w : m_fake.files.writes)
        {
            if (w.path == path)
            {
                return true;
            }
        }
        return false;
    }
    std::vector<std::string> Shown() const
    {
        std::vector<std::string> texts;
        for (const auto& m : m_fake.presenter.shown)
        {
            texts.push_back(m.text);
        }
        return texts;
    }

    test::FakePlatform m_fake{"C:\\Qw\\Quellwipe.exe"};
    CShredApp m_app{m_fake.platform};
};

TEST_F(RecycleBinTest, ModernLayoutOverwritesBothEntryKindsAndKeepsDesktopIni)
{
    std::string bin = std::string("C:\\$Recycle.Bin\\") + kSid;
    Bin("C:\\", bin, 300);
    Item(bin + "\\$IAB12CD.txt", "C:\\Users\\me\\secret.txt");
    Item(bin + "\\$RAB12CD.txt", "secret content");
    Item(bin + "\\desktop.ini", "system's own");
    m_fake.files.folders.insert(bin + "\\$RFOLDER");
    m_fake.files.folders.insert(bin + "\\$RFOLDER\\sub");
    Item(bin + "\\$RFOLDER\\inner.doc", "inner");
    Item(bin + "\\$RFOLDER\\sub\\deep.doc", "deep");
    m_app.m_unattended = true;

    std::string folder;
    EXPECT_EQ(FindBinFolder(test::Prepared(m_app), "C:\\", true, folder), BinLayout::RecycleBin);
    EXPECT_EQ(folder, bin + "\\");

    std::map<std::string, std::string> before = m_fake.files.files;
    ShredRecycleBin(test::Prepared(m_app));
    for (const char* item :
         {"\\$IAB12CD.txt", "\\$RAB12CD.txt", "\\$RFOLDER\\inner.doc", "\\$RFOLDER\\sub\\deep.doc"})
    {
        EXPECT_TRUE(Written(bin + item)) << item;
    }
    EXPECT_FALSE(Written(bin + "\\desktop.ini"));
    EXPECT_EQ(m_fake.shell.emptied, std::vector<std::string>{"C:\\"});
    EXPECT_EQ(m_fake.files.files.count(bin + "\\$RAB12CD.txt"), 0u); // the shell emptied it
    EXPECT_EQ(m_fake.files.created.size(), 0u); // no desktop.ini written on this layout
    EXPECT_EQ(m_app.m_runStatus, "");
}

TEST_F(RecycleBinTest, RecyclerAndRecycledKeepTheirIndexAndGetDesktopIniBack)
{
    std::string recycler = std::string("C:\\Recycler\\") + kSid;
    Bin("C:\\", recycler, 100);
    Item(recycler + "\\INFO2", "index");
    Item(recycler + "\\desktop.ini", "old ini");
    Item(recycler + "\\Dc1.txt", "one");
    m_app.m_ntfs[2] = 1; // Recycler\<SID> on NTFS, RECYCLED elsewhere
    Bin("D:\\", "D:\\RECYCLED", 50);
    Item("D:\\RECYCLED\\INFO2", "index");
    Item("D:\\RECYCLED\\DD2.doc", "two");
    m_app.m_unattended = true;

    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_TRUE(Written(recycler + "\\Dc1.txt"));
    EXPECT_TRUE(Written("D:\\RECYCLED\\DD2.doc"));
    EXPECT_FALSE(Written(recycler + "\\INFO2"));
    EXPECT_FALSE(Written("D:\\RECYCLED\\INFO2"));
    EXPECT_EQ(m_fake.shell.emptied, (std::vector<std::string>{"C:\\", "D:\\"}));
    for (const std::string& ini :
         {recycler + "\\desktop.ini", std::string("D:\\RECYCLED\\desktop.ini")})
    {
        ASSERT_EQ(m_fake.files.files.count(ini), 1u) << ini;
        EXPECT_EQ(m_fake.files.files[ini],
                  "[.ShellClassInfo]\r\nCLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n");
        EXPECT_EQ(m_fake.files.files[ini].size(), 65u);
    }
}

TEST_F(RecycleBinTest, WithoutASidOnlyTheRecycledFolderCounts)
{
    m_app.m_userSid.clear();
    std::string folder;
    Bin("C:\\", std::string("C:\\Recycler\\") + kSid, 10);
    EXPECT_EQ(FindBinFolder(test::Prepared(m_app), "C:\\", true, folder), BinLayout::None);
    Bin("E:\\", "E:\\RECYCLED", 10);
    EXPECT_EQ(FindBinFolder(test::Prepared(m_app), "E:\\", false, folder), BinLayout::Recycled);
}

TEST_F(RecycleBinTest, AFailedSurveyUsesWhatWasCountedAndStillProcessesLaterDrives)
{
    Bin("C:\\", "C:\\RECYCLED", 10);
    Item("C:\\RECYCLED\\DC1.txt", "c");
    m_fake.shell.bins["D:\\"] = BinQuery{static_cast<std::int32_t>(0x80004005), 0, 0};
    Bin("E:\\", "E:\\RECYCLED", 7);
    Item("E:\\RECYCLED\\DE1.txt", "e");
    m_app.m_unattended = true;
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_EQ(m_app.m_runStatus, "Bin query failed. (80004005)");
    EXPECT_EQ(m_fake.shell.emptied, (std::vector<std::string>{"C:\\", "E:\\"}));
    EXPECT_TRUE(Written("E:\\RECYCLED\\DE1.txt"));
}

TEST_F(RecycleBinTest, EmptyBinsMissingFunctionsAndRefusal)
{
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_EQ(Shown(), std::vector<std::string>{"The bin is empty."});

    m_fake.shell.binState = BinShell::NoFunctions;
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_EQ(Shown().back(), "No bin functions.");

    m_fake.shell.binState = BinShell::NotLoaded;
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_EQ(Shown().size(), 2u); // nothing said

    m_fake.shell.binState = BinShell::Ready;
    Bin("C:\\", "C:\\RECYCLED", 10);
    Item("C:\\RECYCLED\\DC1.txt", "c");
    m_fake.presenter.answers = {"No"};
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_EQ(m_fake.presenter.shown.back().text, "Shred the bin?");
    EXPECT_EQ(m_fake.presenter.shown.back().frame, 3);
    EXPECT_EQ(m_fake.files.files["C:\\RECYCLED\\DC1.txt"], "c");
    EXPECT_TRUE(m_fake.shell.emptied.empty());
}

TEST_F(RecycleBinTest, ABinNotWhollyOverwrittenIsNotEmptied)
{
    Bin("C:\\", "C:\\RECYCLED", 10);
    Item("C:\\RECYCLED\\DC1.txt", "c");
    Item("C:\\RECYCLED\\DC2.txt", "locked");
    m_fake.files.failOpen = {"C:\\RECYCLED\\DC2.txt"};
    Bin("D:\\", "D:\\RECYCLED", 10);
    Item("D:\\RECYCLED\\DD1.txt", "d");
    m_fake.presenter.answers = {"Yes"};
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_TRUE(m_fake.shell.emptied.empty());
    EXPECT_EQ(m_fake.files.files["C:\\RECYCLED\\DC2.txt"], "locked");
    EXPECT_EQ(m_fake.files.files["D:\\RECYCLED\\DD1.txt"], "d"); // later drives skipped
    // Only the first two "%c" name the drive.
    EXPECT_EQ(m_fake.presenter.shown.back().text, "Stopped on C: (C:), not %c.");
    EXPECT_EQ(m_fake.presenter.shown.back().size, MessageSize::Middle);
}

// An item whose content lies elsewhere is never written: a link that cannot be
// removed without reaching its target keeps the bin from being emptied (wine
// 8.0 would empty it through the link); a hard link's other name keeps the
// content, and emptying the bin removes only the item's name.
TEST_F(RecycleBinTest, ItemsWhoseContentLiesElsewhereAreNeverWritten)
{
    for (bool stays : {true, false})
    {
        SCOPED_TRACE(stays);
        test::FakePlatform fake{"C:\\Qw\\Quellwipe.exe"};
        fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
        fake.settings.WriteText(kAppPath, "C:\\Qw");
        CShredApp app{fake.platform};
        app.InitInstance("");
        app.m_driveRoots = {};
        app.m_driveRoots[2] = "C:\\";
        fake.shell.bins["C:\\"] = BinQuery{0, 10, 1};
        fake.shell.binFolders["C:\\"].push_back("C:\\RECYCLED");
        fake.files.folders = {"C:\\", "C:\\RECYCLED"};
        fake.files.files["C:\\RECYCLED\\DC1.txt"] = "elsewhere";
        if (stays)
        {
            fake.files.files.erase("C:\\RECYCLED\\DC1.txt");
            fake.files.links["C:\\RECYCLED\\DC1.txt"] = false;
            fake.files.attributes["C:\\RECYCLED\\DC1.txt"].linkStays = true;
        }
        else
        {
            fake.files.attributes["C:\\RECYCLED\\DC1.txt"].linkCount = 2;
        }
        fake.presenter.answers = {"Yes", "OK", "OK"};
        ShredRecycleBin(test::Prepared(app));
        for (const auto& write : fake.files.writes)
        {
            EXPECT_NE(write.path, "C:\\RECYCLED\\DC1.txt");
        }
        EXPECT_EQ(fake.shell.emptied.empty(), stays);
        EXPECT_EQ(fake.files.links.size(), stays ? 1u : 0u);
    }
}

TEST_F(RecycleBinTest, CancelKeepsTheBinFull)
{
    Bin("C:\\", "C:\\RECYCLED", 10);
    Item("C:\\RECYCLED\\DC1.txt", std::string(200000, 'x'));
    m_fake.ui.cancelAtPump = 1;
    m_app.m_unattended = true;
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_TRUE(m_fake.shell.emptied.empty());
    EXPECT_EQ(m_app.m_runStatus, "Stopped on C: (C:), not %c.");
}

TEST_F(RecycleBinTest, AnUnlistableBinFolderIsReportedAndTheNextDriveTaken)
{
    Bin("C:\\", "C:\\RECYCLED", 10);
    m_fake.files.failList = {"C:\\RECYCLED"};
    Bin("D:\\", "D:\\RECYCLED", 10);
    Item("D:\\RECYCLED\\DD1.txt", "d");
    m_app.m_unattended = true;
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_EQ(m_fake.shell.emptied, std::vector<std::string>{"D:\\"});
    std::string log = m_fake.files.files["C:\\Qw\\log.txt"];
    EXPECT_NE(log.find("Cannot list %s.\r\n\r\n"), std::string::npos) << log;
}

TEST_F(RecycleBinTest, WithoutABinFolderTheShellsOwnFoldersAreShredded)
{
    // As under wine: the items live in the desktop's trash.
    m_fake.shell.bins["C:\\"] = BinQuery{0, 20, 1};
    m_fake.files.folders = {"Z:\\trash", "Z:\\trash\\files", "Z:\\trash\\info"};
    Item("Z:\\trash\\files\\report.doc", "marker");
    Item("Z:\\trash\\info\\report.doc.trashinfo", "[Trash Info]\nPath=/home/me/report.doc\n");
    m_fake.shell.shellBinFolders = {"Z:\\trash\\files", "Z:\\trash\\info"};
    m_fake.shell.binFolders["C:\\"] = {"Z:\\trash\\files", "Z:\\trash\\info"};
    // D: says it holds items too, but keeps them nowhere we can find.
    m_fake.shell.bins["D:\\"] = BinQuery{0, 20, 1};
    Bin("E:\\", "E:\\RECYCLED", 10);
    Item("E:\\RECYCLED\\DE1.txt", "e");
    m_app.m_unattended = true;
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_TRUE(Written("Z:\\trash\\files\\report.doc"));
    EXPECT_TRUE(Written("Z:\\trash\\info\\report.doc.trashinfo"));
    EXPECT_EQ(m_fake.files.files.count("Z:\\trash\\files\\report.doc"), 0u);
    // Every drive: what was overwritten is emptied, what was not is not.
    EXPECT_EQ(m_fake.shell.emptied, (std::vector<std::string>{"C:\\", "E:\\"}));
    EXPECT_EQ(m_app.m_runStatus, "Cannot list %s.");
}

TEST_F(RecycleBinTest, ABinWhoseFolderIsUnknownIsNeverEmptied)
{
    // As on Windows, where the shell names no folders of its own.
    m_fake.shell.bins["C:\\"] = BinQuery{0, 20, 1};
    m_fake.files.folders = {"C:\\"};
    m_app.m_unattended = true;
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_TRUE(m_fake.shell.emptied.empty());
    EXPECT_EQ(m_app.m_runStatus, "Cannot list %s.");

    // On NTFS a folder called RECYCLED is a user's own, never the bin.
    m_app.m_ntfs[2] = 1;
    Bin("C:\\", "C:\\RECYCLED", 10);
    Item("C:\\RECYCLED\\mine.txt", "mine");
    std::string folder;
    EXPECT_EQ(FindBinFolder(test::Prepared(m_app), "C:\\", true, folder), BinLayout::None);
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_FALSE(Written("C:\\RECYCLED\\mine.txt"));
    EXPECT_TRUE(m_fake.shell.emptied.empty());
}

TEST_F(RecycleBinTest, AShellBinOfFoldersOnlyIsShreddedAndLeftEmpty)
{
    // Wine counts folders as 0 bytes and its emptying leaves them behind.
    m_fake.shell.bins["C:\\"] = BinQuery{0, 0, 1};
    m_fake.files.folders = {"Z:\\trash", "Z:\\trash\\files", "Z:\\trash\\files\\album",
                            "Z:\\trash\\files\\album\\sub", "Z:\\trash\\info"};
    Item("Z:\\trash\\files\\album\\photo.jpg", "marker");
    Item("Z:\\trash\\files\\album\\sub\\deep.jpg", "marker");
    Item("Z:\\trash\\info\\album.trashinfo", "[Trash Info]\nPath=/home/me/album\n");
    m_fake.shell.shellBinFolders = {"Z:\\trash\\files", "Z:\\trash\\info"};
    m_app.m_unattended = true;
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_TRUE(Written("Z:\\trash\\files\\album\\photo.jpg"));
    EXPECT_TRUE(Written("Z:\\trash\\info\\album.trashinfo"));
    std::vector<FolderEntry> left;
    OsError error;
    ASSERT_TRUE(m_fake.files.ListFolder("Z:\\trash\\files", left, error));
    EXPECT_TRUE(left.empty());
    ASSERT_TRUE(m_fake.files.ListFolder("Z:\\trash\\info", left, error));
    EXPECT_TRUE(left.empty());
    EXPECT_EQ(m_app.m_runStatus, "");
}

TEST_F(RecycleBinTest, TheWarningComesFirstUnlessSwitchedOff)
{
    Bin("C:\\", "C:\\RECYCLED", 10);
    Item("C:\\RECYCLED\\DC1.txt", "c");
    m_app.m_unattended = true;
    m_fake.presenter.shellAlertAnswers = {{"Cancel", true}};
    ShredRecycleBinAfterWarning(test::Prepared(m_app));
    EXPECT_EQ(m_fake.presenter.shellAlerts, 1);
    EXPECT_TRUE(m_fake.shell.emptied.empty());
    EXPECT_EQ(m_fake.settings.ReadInt(kBinAlertDisabled, 0), 0);

    m_fake.presenter.shellAlertAnswers = {{"Ok", true}};
    ShredRecycleBinAfterWarning(test::Prepared(m_app));
    EXPECT_EQ(m_fake.settings.ReadInt(kBinAlertDisabled, 0), 1);
    EXPECT_EQ(m_fake.shell.emptied.size(), 1u);

    ShredRecycleBinAfterWarning(test::Prepared(m_app));
    EXPECT_EQ(m_fake.presenter.shellAlerts, 2); // not asked again
}

} // namespace
} // namespace qw
