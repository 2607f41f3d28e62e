#include "engine/recycle_bin.h"

#include "app/shred_app.h"
#include "app/targets_run.h"
#include "fakes/fake_platform.h"
#include "platform/setting_names.h"

#include <gtest/gtest.h>

#include <functional>

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
    // The desktop's trash, as wine keeps it, holding a file and a folder;
    // `root` reports it as the shell does, for every drive.
    static void ShellBin(test::FakePlatform& fake, const std::string& root)
    {
        fake.shell.bins[root] = BinQuery{0, 20, 2};
        fake.files.folders.insert(
            {"Z:\\trash", "Z:\\trash\\files", "Z:\\trash\\files\\album", "Z:\\trash\\info"});
        fake.files.files["Z:\\trash\\files\\report.doc"] = "marker";
        fake.files.files["Z:\\trash\\files\\album\\photo.jpg"] = "marker";
        fake.files.files["Z:\\trash\\info\\report.doc.trashinfo"] = "Path=/home/me/report.doc";
        fake.files.files["Z:\\trash\\info\\album.trashinfo"] = "Path=/home/me/album";
        fake.shell.shellBinFolders = {"Z:\\trash\\files", "Z:\\trash\\info"};
        fake.shell.binFolders[root] = fake.shell.shellBinFolders;
    }
    void ShellBin()
    {
        for (const char* root : {"C:\\", "D:\\", "E:\\"})
        {
            ShellBin(m_fake, root);
        }
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

TEST_F(RecycleBinTest, AFolderHoldingFewerItemsThanTheShellCountsIsNotItsBin)
{
    // A left-over $Recycle.Bin where the shell keeps its items in Recycler.
    std::string planted = std::string("C:\\$Recycle.Bin\\") + kSid;
    Bin("C:\\", planted, 300);
    m_fake.shell.bins["C:\\"].items = 2;
    Item(planted + "\\$IAB12CD.txt", "record");
    Item(planted + "\\$RAB12CD.txt", "one item");
    Item(planted + "\\desktop.ini", "ini");
    Bin("D:\\", "D:\\RECYCLED", 10);
    Item("D:\\RECYCLED\\DD1.txt", "d");
    m_app.m_unattended = true;
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_EQ(m_fake.shell.emptied, std::vector<std::string>{"D:\\"});
    EXPECT_EQ(m_fake.files.files.count(planted + "\\$RAB12CD.txt"), 1u);
    EXPECT_NE(m_app.m_runStatus, "");
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

TEST_F(RecycleBinTest, WhereTheShellKeepsOneBinOnlyItsFoldersAreShreddedAndEmptied)
{
    // As under wine: every drive reports the desktop's trash, and a folder
    // named like a bin on a drive (left over, or planted) is not what the
    // shell empties.
    ShellBin();
    std::string planted = std::string("C:\\$Recycle.Bin\\") + kSid;
    m_fake.files.folders.insert({"C:\\$Recycle.Bin", planted});
    Item(planted + "\\$RAB12CD.txt", "not in the shell's bin");
    m_fake.files.folders.insert("E:\\RECYCLED");
    Item("E:\\RECYCLED\\DE1.txt", "e");
    m_app.m_unattended = true;
    ShredRecycleBin(test::Prepared(m_app));
    EXPECT_TRUE(Written("Z:\\trash\\files\\report.doc"));
    EXPECT_TRUE(Written("Z:\\trash\\files\\album\\photo.jpg"));
    EXPECT_TRUE(Written("Z:\\trash\\info\\report.doc.trashinfo"));
    EXPECT_EQ(m_fake.files.files.count("Z:\\trash\\files\\report.doc"), 0u);
    EXPECT_EQ(m_fake.shell.emptied, std::vector<std::string>{"C:\\"}); // once, for all drives
    EXPECT_FALSE(Written(planted + "\\$RAB12CD.txt"));
    EXPECT_FALSE(Written("E:\\RECYCLED\\DE1.txt"));
    EXPECT_EQ(m_fake.files.files[planted + "\\$RAB12CD.txt"], "not in the shell's bin");
    EXPECT_EQ(m_app.m_runStatus, "");
}

TEST_F(RecycleBinTest, TheShellsBinIsNotEmptiedUnlessAllItHoldsWasOverwritten)
{
    const std::string notAll = "Not all overwritten.";
    const std::string notFound = "Items not found in Z:\\trash\\files";
    const std::string added = "Items came in.";
    struct Case
    {
        const char* what;
        std::function<void(test::FakePlatform&)> fault;
        std::string status;
    };
    const std::vector<Case> cases = {
        {"an item that cannot be written",
         [](test::FakePlatform& f) { f.files.failOpen = {"Z:\\trash\\files\\report.doc"}; },
         notAll},
        {"an item listed but not opened (wine: a Unix name such as a*b.txt)",
         [](test::FakePlatform& f)
         {
             f.files.beforeOpenIn = [&f](const std::string& path)
             {
                 if (path == "Z:\\trash\\files\\report.doc")
                 {
                     f.files.files.erase(path);
                 }
             };
         },
         notAll},
        {"a file inside a trashed folder that cannot be written",
         [](test::FakePlatform& f) { f.files.failOpen = {"Z:\\trash\\files\\album\\photo.jpg"}; },
         notAll},
        {"the items' folder is not there (another home's trash)",
         [](test::FakePlatform& f) { f.files.failList = {"Z:\\trash\\files"}; }, notFound},
        {"the shell counts more items than were found",
         [](test::FakePlatform& f) { f.shell.bins["D:\\"].items = 5; }, notFound},
        {"an item put into the bin during the shred",
         [](test::FakePlatform& f)
         {
             f.files.beforeOverwriteOpen = [&f](const std::string&)
             { f.files.files["Z:\\trash\\files\\new.doc"] = "new"; };
         },
         added},
        {"a link that cannot be removed (wine 8.0 empties a file link by deleting its target)",
         [](test::FakePlatform& f)
         {
             f.files.links["Z:\\trash\\files\\link.doc"] = false;
             f.files.failRemove = {"Z:\\trash\\files\\link.doc"};
         },
         notAll},
        {"cancelled",
         [](test::FakePlatform& f)
         {
             f.files.files["Z:\\trash\\files\\report.doc"] = std::string(200000, 'x');
             f.ui.cancelAtPump = 1;
         },
         notAll},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        test::FakePlatform fake{"C:\\Qw\\Quellwipe.exe"};
        fake.files.files["C:\\Qw\\Lang\\English.ini"] = std::string(kPack) +
                                                        "9090=Items not found in %s\n"
                                                        "9091=Not all overwritten.\n"
                                                        "9092=Items came in.\n"
                                                        "9093=A link: %s\n";
        fake.settings.WriteText(kAppPath, "C:\\Qw");
        CShredApp app{fake.platform};
        app.InitInstance("");
        app.m_userSid = kSid;
        app.m_driveRoots = {};
        app.m_driveRoots[2] = "C:\\";
        app.m_driveRoots[3] = "D:\\";
        app.m_unattended = true;
        ShellBin(fake, "D:\\");
        c.fault(fake);
        ShredRecycleBin(test::Prepared(app));
        EXPECT_TRUE(fake.shell.emptied.empty());
        EXPECT_EQ(fake.files.files.count("Z:\\trash\\info\\report.doc.trashinfo"), 1u);
        EXPECT_EQ(app.m_runStatus.substr(0, c.status.size()), c.status);
    }
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
