#include "engine/free_space_wipe.h"

#include "app/shred_app.h"
#include "fakes/fake_platform.h"
#include "platform/setting_names.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace qw
{
namespace
{

constexpr const char* kPack =
    "[Tarnwell Language Pack]\n"
    "9006=No memory.\n9010=No progress window.\n9012=No temp folder.\n"
    "9013=No temp file.\n9033=Quota. Continue?\n"
    "9045=No space for you on %c.\n9046=Drive %c is full.\n"
    "9047=Write failed: %s\n9908=Preparing\n9909=Filling\n9910=Wait\n"
    "9914=%s file %u of %t\n9915=Quick\n9916=Thorough\n9917=Wiping\n"
    "9905=Random\n9906=Complement\n9907=Fresh\n9918=Round %u of %t\n"
    "9919=Filler %s %u of %t\n9920=Records %u\n9094=Not removed: %s\n9095=Leftover: %s\n"
    "9116=Filler not verified: %s\n9117=Checking\n"
    "[Messages]\n9026=XP advice.\n9027=Wipe the free space?\n";

constexpr std::uint64_t GiB = 1ull << 30;

class FreeSpaceWipeTest : public ::testing::Test
{
protected:
    FreeSpaceWipeTest()
    {
        m_fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
        m_fake.settings.WriteText(kAppPath, "C:\\Qw");
        m_fake.files.folders = {"D:"};
        m_app.InitInstance("");
        m_app.m_xpOrMe = 0;
    }

    void Unattended(int method = 0, int passes = 0)
    {
        m_app.m_unattended = true;
        m_app.m_cmdMethod = method;
        m_app.m_cmdPasses = passes;
        // The fake keeps no bytes of fillers, so random ones cannot be read
        // back.
        m_app.m_cmdVerify = method == 1 ? 0 : 1;
    }
    void Space(std::uint64_t available, std::uint64_t totalFree, std::uint64_t left)
    {
        m_fake.files.freeSpace = {available, totalFree};
        m_fake.files.spaceLeft = left;
    }
    // Nothing of the wipe may stay on the drive.
    void ExpectCleanDrive()
    {
        EXPECT_EQ(m_fake.files.folders.count("D:\\SHREDTMP.$$$"), 0u);
        EXPECT_TRUE(m_fake.files.sizeOnly.empty());
        EXPECT_EQ(m_fake.ui.window, nullptr);
    }
    long Count(const std::string& prefix) const
    {
        return std::count_if(m_fake.files.events.begin(), m_fake.files.events.end(),
                             [&prefix](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    }

    test::FakePlatform m_fake{"C:\\Qw\\Quellwipe.exe"};
    CShredApp m_app{m_fake.platform};
};

TEST(TempFiles, CountAndNames)
{
    EXPECT_EQ(TempFileCount(GiB - 1), 1u);
    EXPECT_EQ(TempFileCount(GiB), 2u);
    EXPECT_EQ(TempFileCount(5 * GiB), 6u);
    EXPECT_EQ(TempFileCount(0), 1u);
    EXPECT_EQ(TempFileName(0), "SHRED000.TMP");
    EXPECT_EQ(TempFileName(42), "SHRED042.TMP");
    EXPECT_EQ(TempFileName(999), "SHRED999.TMP");
    EXPECT_EQ(TempFileName(1000), "SHRED1000.TMP");
    EXPECT_EQ(TempFolderName(0), "SHREDTMP.$$$");
    EXPECT_EQ(TempFolderName(7), "SHREDTMP.$07");
}

TEST_F(FreeSpaceWipeTest, FiveGigabytesMakeSixFilesAndAllAreDeleted)
{
    Unattended();
    // The drive fills up early: the rest of the files are made empty.
    Space(5 * GiB, 5 * GiB, 3 * 65536 + 700);
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    std::vector<std::string> expected;
    for (int i = 0; i < 6; ++i)
    {
        expected.push_back("D:\\SHREDTMP.$$$\\" + TempFileName(i));
    }
    EXPECT_EQ(m_fake.files.created, expected);
    EXPECT_EQ(Count("delete D:\\SHREDTMP.$$$\\SHRED"), 6);
    EXPECT_EQ(Count("rmdir D:\\SHREDTMP.$$$"), 1);
    EXPECT_EQ(Count("flush "), 6);
    ExpectCleanDrive();
    EXPECT_EQ(m_app.m_runStatus, "");
    EXPECT_TRUE(m_fake.presenter.shown.empty());
}

// A filler's zeroes are read back: a lost write is written once more; one
// that stays lost is named, and the fillers still go.
TEST_F(FreeSpaceWipeTest, FillersAreReadBackAndOneThatStillDiffersIsNamed)
{
    const std::string filler = "D:\\SHREDTMP.$$$\\SHRED000.TMP";
    for (int losses : {1, -1})
    {
        SCOPED_TRACE(losses);
        test::FakePlatform fake{"C:\\Qw\\Quellwipe.exe"};
        fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
        fake.settings.WriteText(kAppPath, "C:\\Qw");
        fake.files.folders = {"D:"};
        CShredApp app{fake.platform};
        app.InitInstance("");
        app.m_unattended = true;
        fake.files.freeSpace = {GiB / 2, GiB / 2};
        fake.files.spaceLeft = 3 * 65536;
        int lost = 0;
        fake.files.loseWrite = [&](const std::string& path, std::uint64_t offset)
        { return path == filler && offset == 65536 && (losses < 0 || lost++ < losses); };
        WipeFreeSpace(test::Prepared(app), "D:\\");
        EXPECT_EQ(fake.files.readBacks, 2);
        EXPECT_EQ(app.m_runStatus, losses < 0 ? "Filler not verified: " + filler : "");
        EXPECT_TRUE(fake.files.sizeOnly.empty());
        EXPECT_EQ(fake.files.folders.count("D:\\SHREDTMP.$$$"), 0u);
    }
}

TEST_F(FreeSpaceWipeTest, AbsurdFreeSpaceEndsWhenTheVolumeIsFull)
{
    // A remote drive may report any amount: 2^34 files would be planned.
    Unattended();
    Space(~0ull, ~0ull, 3 * 65536);
    m_fake.files.fileLimit = 5; // the wipe's folder and four files
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_fake.files.created.size(), 4u);
    EXPECT_EQ(Count("delete D:\\SHREDTMP.$$$\\SHRED"), 4);
    ExpectCleanDrive();
    EXPECT_EQ(m_app.m_runStatus, "");
}

TEST_F(FreeSpaceWipeTest, OnNtfsTheFreeRecordsAreFilledUntilTheVolumeRefuses)
{
    // The wipe's folder and the record tree's first, one filler for the
    // clusters, then folders and files breadth first until the volume takes
    // no tenth.
    Unattended(1, 1);
    m_app.m_ntfs[3] = 1;
    Space(3 * 65536, 3 * 65536, 3 * 65536);
    m_fake.files.residentBytes = kResidentBytes;
    m_fake.files.fileLimit = 9;
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    const std::string tree = "D:\\SHREDTMP.$$$\\R";
    // Two names a folder: two folders on the first level, a folder and a
    // file on the next.
    EXPECT_EQ(m_fake.files.created,
              (std::vector<std::string>{"D:\\SHREDTMP.$$$\\SHRED000.TMP", tree + "\\d0\\f1",
                                        tree + "\\d1\\f1"}));
    // Each record file: its zeroes, then the three passes of the method,
    // all of the size that stays in the record.
    EXPECT_EQ(Count("write " + tree + "\\d1\\f1 0 " + std::to_string(kResidentBytes)), 4);
    EXPECT_EQ(Count("write " + tree), 8);
    // Removed deepest first, the tree's folder last.
    const auto& events = m_fake.files.events;
    auto at = [&events](const std::string& event)
    { return std::find(events.begin(), events.end(), event) - events.begin(); };
    EXPECT_LT(at("delete " + tree + "\\d0\\f1"), at("rmdir " + tree + "\\d0"));
    EXPECT_LT(at("rmdir " + tree + "\\d0"), at("rmdir " + tree));
    EXPECT_LT(at("rmdir " + tree), static_cast<long>(events.size()));
    ExpectCleanDrive();
    EXPECT_EQ(m_app.m_runStatus, "");

    // Not on other file systems.
    m_app.m_ntfs[3] = 0;
    m_fake.files.created.clear();
    m_fake.files.fileLimit.reset();
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_fake.files.created.size(), 1u);
}

TEST_F(FreeSpaceWipeTest, CancelDuringTheRecordFillLeavesNothing)
{
    Unattended();
    m_app.m_ntfs[3] = 1;
    Space(3 * 65536, 3 * 65536, 3 * 65536);
    m_fake.files.residentBytes = kResidentBytes;
    m_fake.ui.onPump = [this](int)
    {
        if (m_fake.files.created.size() == 4 && m_fake.ui.onCancel)
        {
            m_fake.ui.onCancel();
        }
    };
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_fake.files.created.size(), 4u);
    for (const auto& [path, bytes] : m_fake.files.files)
    {
        EXPECT_EQ(path.find("SHREDTMP"), std::string::npos) << path;
    }
    for (const auto& path : m_fake.files.folders)
    {
        EXPECT_EQ(path.find("SHREDTMP"), std::string::npos) << path;
    }
    ExpectCleanDrive();
}

TEST_F(FreeSpaceWipeTest, TheLastBytesAreFilledInHalvingChunksDownTo512)
{
    Unattended();
    Space(GiB / 2, GiB / 2, 65536 + 32768 + 1024 + 512 + 100);
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    std::vector<std::uint64_t> sizes;
    for (const auto& w : m_fake.files.writes)
    {
        if (w.path == "D:\\SHREDTMP.$$$\\SHRED000.TMP")
        {
            sizes.push_back(w.offset);
        }
    }
    // Offsets of the writes that went through: 64 KiB, then 32 KiB, 1 KiB, 512.
    EXPECT_EQ(sizes, (std::vector<std::uint64_t>{0, 65536, 98304, 99328}));
    EXPECT_EQ(*m_fake.files.spaceLeft, 100u);
}

TEST_F(FreeSpaceWipeTest, AFileStopsAtOneGigabyte)
{
    TempFileRecord record;
    m_fake.files.folders.insert("D:\\T");
    OsError error;
    record.path = "D:\\T\\SHREDTMP.x";
    record.file = m_fake.files.CreateForWriting(record.path, error);
    m_app.CreateProgressWindow();
    EXPECT_EQ(FillTempFile(test::Prepared(m_app), record), FillResult::FileFull);
    EXPECT_EQ(record.size, GiB);
    EXPECT_EQ(m_fake.ui.window->range.second, 16384u);
    EXPECT_EQ(m_fake.ui.window->position, 16384u);
}

TEST_F(FreeSpaceWipeTest, AWriteErrorIsReportedWithTheSystemTextAndCode)
{
    Unattended();
    Space(GiB, GiB, GiB);
    m_fake.files.writeErrorCode = 0x1F;
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_app.m_runStatus, "Write failed: System error 31 (0000001F)");
    EXPECT_EQ(m_fake.files.created.size(), 1u); // no further files
    ExpectCleanDrive();
}

// Names of the wipe's that someone else holds: a leftover folder with a
// user's file, a folder link, and (in the wipe's own new folder) a link
// under the next filler's name. None is entered, written or removed.
TEST_F(FreeSpaceWipeTest, TakenNamesAreNeverWrittenThroughOrRemoved)
{
    Unattended();
    m_fake.files.folders.insert("D:\\SHREDTMP.$$$");
    m_fake.files.files["D:\\SHREDTMP.$$$\\SHRED000.TMP"] = "old";
    m_fake.files.files["D:\\SHREDTMP.$$$\\keep.txt"] = "mine";
    m_fake.files.links["D:\\SHREDTMP.$01"] = true;
    Space(100, 100, 100);
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_fake.files.created, std::vector<std::string>{"D:\\SHREDTMP.$02\\SHRED000.TMP"});
    EXPECT_EQ(m_fake.files.files["D:\\SHREDTMP.$$$\\SHRED000.TMP"], "old");
    EXPECT_EQ(m_fake.files.folders.count("D:\\SHREDTMP.$$$"), 1u);
    EXPECT_EQ(m_fake.files.links.count("D:\\SHREDTMP.$01"), 1u);
    EXPECT_EQ(m_fake.files.folders.count("D:\\SHREDTMP.$02"), 0u);
    // Both are named: their space stays taken.
    EXPECT_EQ(m_app.m_runStatus, "Leftover: D:\\SHREDTMP.$01");

    // A link put under the second filler's name while the first is filled.
    const std::string planted = "D:\\SHREDTMP.$02\\SHRED001.TMP";
    m_fake.files.created.clear();
    m_fake.ui.onPump = [this, &planted](int)
    {
        if (m_fake.files.folders.count("D:\\SHREDTMP.$02"))
        {
            m_fake.files.links[planted] = false;
        }
    };
    Space(GiB + 5, GiB + 5, GiB + 5);
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_fake.files.created, std::vector<std::string>{"D:\\SHREDTMP.$02\\SHRED000.TMP"});
    // The planted link keeps the wipe's folder from going: named last.
    EXPECT_EQ(m_app.m_runStatus, "Not removed: D:\\SHREDTMP.$02");
    EXPECT_EQ(m_fake.files.links.count(planted), 1u);
    for (const std::string& event : m_fake.files.events)
    {
        EXPECT_EQ(event.find(planted), std::string::npos) << event;
    }
    EXPECT_EQ(m_fake.files.files["D:\\SHREDTMP.$$$\\SHRED000.TMP"], "old");
}

TEST_F(FreeSpaceWipeTest, EveryFolderNameTakenIsReportedAndNothingWritten)
{
    Unattended();
    for (int i = 0; i < 100; ++i)
    {
        m_fake.files.folders.insert("D:\\" + TempFolderName(i));
        m_fake.files.files["D:\\" + TempFolderName(i) + "\\user.txt"] = "kept";
    }
    Space(100, 100, 100);
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_app.m_runStatus, "No temp folder.");
    EXPECT_TRUE(m_fake.files.created.empty());
    EXPECT_EQ(Count("rmdir "), 0);
}

TEST_F(FreeSpaceWipeTest, CancelDuringTheFillSkipsTheThoroughPassAndCleansUp)
{
    Unattended(1, 1);
    Space(3 * GiB, 3 * GiB, 3 * GiB);
    m_fake.ui.cancelAtPump = 3;
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_fake.files.created.size(), 1u);
    EXPECT_EQ(m_fake.files.writes.size(), 3u); // the chunk in hand completes
    ExpectCleanDrive();
}

TEST_F(FreeSpaceWipeTest, QuickWritesZeroesOnceThoroughAddsThePasses)
{
    Unattended(0);
    Space(200000, 200000, 200000);
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    long quickWrites = static_cast<long>(m_fake.files.writes.size());
    EXPECT_EQ(Count("flush "), 1);

    m_fake.files.writes.clear();
    m_fake.files.events.clear();
    Unattended(1, 2);
    Space(200000, 200000, 200000);
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    // The filler holds 199,680 bytes: 3 full blocks and one of 3,072 bytes,
    // written by each of the 6 passes.
    EXPECT_EQ(static_cast<long>(m_fake.files.writes.size()), quickWrites + 6 * 4);
    EXPECT_EQ(Count("flush "), 1 + 6);
    ExpectCleanDrive();
}

TEST_F(FreeSpaceWipeTest, InteractiveRunsAskFirstAndStopOnRefusal)
{
    m_app.m_xpOrMe = 1;
    Space(GiB, GiB, 1000);
    m_fake.presenter.answers = {"Ok", "Cancel"};
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    ASSERT_EQ(m_fake.presenter.shown.size(), 2u);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "XP advice.");
    EXPECT_EQ(m_fake.presenter.shown[0].size, MessageSize::Middle);
    EXPECT_EQ(m_fake.presenter.shown[1].text, "Wipe the free space?");
    EXPECT_EQ(m_fake.presenter.shown[1].size, MessageSize::Big);
    EXPECT_EQ(m_fake.presenter.shown[1].frame, 2);
    EXPECT_TRUE(m_fake.files.created.empty());
    EXPECT_EQ(Count("mkdir "), 0);

    m_fake.presenter.answers = {"Ok", "Ok"};
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_fake.files.created.size(), 2u);
    ExpectCleanDrive();
}

TEST_F(FreeSpaceWipeTest, FailuresBeforeTheFill)
{
    struct Case
    {
        std::uint64_t available, totalFree;
        std::string logged;
    };
    for (const Case& c : {Case{0, 0, "Drive %c is full."}, Case{0, 500, "No space for you on %c."}})
    {
        test::FakePlatform fake("C:\\Qw\\Quellwipe.exe");
        fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
        fake.settings.WriteText(kAppPath, "C:\\Qw");
        fake.files.folders = {"D:"};
        CShredApp app(fake.platform);
        app.InitInstance("");
        app.m_unattended = true;
        fake.files.freeSpace = {c.available, c.totalFree};
        WipeFreeSpace(test::Prepared(app), "D:\\");
        // The drive is named in the text; the log keeps the raw text.
        EXPECT_EQ(app.m_runStatus, c.logged == "Drive %c is full." ? "Drive D: is full."
                                                                   : "No space for you on D:.");
        EXPECT_EQ(fake.files.folders.count("D:\\SHREDTMP.$$$"), 0u);
        EXPECT_TRUE(fake.files.created.empty());
    }

    Unattended();
    m_fake.files.failCreate = {"D:\\SHREDTMP.$$$"};
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_app.m_runStatus, "No temp folder.");
}

TEST_F(FreeSpaceWipeTest, NoProgressWindowEndsTheWipeWithoutLeavingAnything)
{
    Unattended();
    Space(GiB, GiB, 100);
    m_fake.ui.failCreate = true;
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_app.m_runStatus, "No progress window.");
    EXPECT_TRUE(m_fake.files.created.empty());
    EXPECT_EQ(m_fake.files.folders.count("D:\\SHREDTMP.$$$"), 0u);
}

TEST_F(FreeSpaceWipeTest, AQuotaAsksInteractivelyAndIsLoggedUnattended)
{
    Space(GiB, 2 * GiB, 100);
    m_fake.presenter.answers = {"Ok", "No"};
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_fake.presenter.shown.back().text, "Quota. Continue?");
    EXPECT_EQ(m_fake.presenter.shown.back().frame, 3);
    EXPECT_TRUE(m_fake.files.created.empty());
    EXPECT_EQ(m_fake.files.folders.count("D:\\SHREDTMP.$$$"), 0u);

    Unattended();
    Space(GiB, 2 * GiB, 100);
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(m_app.m_runStatus, "Quota. Continue?");
    EXPECT_EQ(m_fake.files.created.size(), 2u);
    ExpectCleanDrive();
}

TEST_F(FreeSpaceWipeTest, AFileThatCannotBeMadeIsShownEvenUnattendedAndLogged)
{
    Unattended();
    Space(GiB + 5, GiB + 5, GiB + 5);
    m_fake.files.failCreate = {"D:\\SHREDTMP.$$$\\SHRED001.TMP"};
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    ASSERT_EQ(m_fake.presenter.shown.size(), 1u);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "No temp file.");
    EXPECT_EQ(m_app.m_runStatus, "No temp file.");
    ExpectCleanDrive();
}

// A scanner holding each closed filler a moment: the delete is retried with
// short waits; what still cannot go is named, and the run is no "Success".
TEST_F(FreeSpaceWipeTest, HeldFillersAreRetriedAndThoseLeftAreNamed)
{
    const std::string filler = "D:\\SHREDTMP.$$$\\SHRED001.TMP";
    struct Case
    {
        int failures; // deletes of the second filler that fail before one succeeds
        bool folderHeld;
        int waits;
        std::string status;
    };
    for (const Case& c : {Case{0, false, 0, ""}, Case{3, false, 3, ""},
                          Case{1000, false, 19, "Not removed: " + filler},
                          Case{0, true, 19, "Not removed: D:\\SHREDTMP.$$$"}})
    {
        test::FakePlatform fake("C:\\Qw\\Quellwipe.exe");
        fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
        fake.settings.WriteText(kAppPath, "C:\\Qw");
        fake.files.folders = {"D:"};
        CShredApp app(fake.platform);
        app.InitInstance("");
        app.m_unattended = true;
        fake.files.freeSpace = {GiB + 5, GiB + 5};
        fake.files.spaceLeft = GiB + 5;
        int failures = c.failures;
        fake.files.onDeleteFailsFor = [&](const std::string& path)
        { return path == filler && failures-- > 0; };
        if (c.folderHeld)
        {
            fake.files.failRemove = {"D:\\SHREDTMP.$$$"};
        }
        WipeFreeSpace(test::Prepared(app), "D:\\");
        EXPECT_EQ(fake.ui.waits, c.waits) << c.failures;
        EXPECT_EQ(app.m_runStatus, c.status) << c.failures;
        EXPECT_EQ(fake.files.sizeOnly.count(filler), c.failures == 1000 ? 1u : 0u);
        EXPECT_EQ(fake.files.sizeOnly.count("D:\\SHREDTMP.$$$\\SHRED000.TMP"), 0u);
        EXPECT_EQ(fake.files.folders.count("D:\\SHREDTMP.$$$"), c.folderHeld ? 1u : 0u);
    }
}

// What a stopped wipe left: its own fillers are shredded and the folder goes
// before the fill; anything else under the name is named and left intact.
TEST_F(FreeSpaceWipeTest, ALeftoverOfFillersIsShreddedFirstAnythingElseIsNamed)
{
    const std::string left = "D:\\SHREDTMP.$$$";
    struct Case
    {
        const char* what;
        std::function<void(test::CFakeFileSystem&)> plant;
        bool cleared;
    };
    auto fillers = [&left](test::CFakeFileSystem& fs)
    {
        fs.folders.insert(left);
        fs.files[left + "\\SHRED000.TMP"] = std::string(1024, '0');
        fs.files[left + "\\SHRED001.TMP"] = std::string(512, '1');
    };
    auto records = [&left, fillers](test::CFakeFileSystem& fs)
    {
        fillers(fs);
        fs.folders.insert(left + "\\R");
        fs.folders.insert(left + "\\R\\d0");
        fs.files[left + "\\R\\d0\\f1"] = "record";
    };
    const Case cases[] = {
        {"only fillers", fillers, true},
        {"fillers and the record tree", records, true},
        {"a foreign file in the record tree",
         [&](test::CFakeFileSystem& fs)
         { records(fs), fs.files[left + "\\R\\d0\\mine.doc"] = "kept"; },
         false},
        {"a link in the record tree",
         [&](test::CFakeFileSystem& fs) { records(fs), fs.links[left + "\\R\\d0\\f2"] = false; },
         false},
        {"a foreign file",
         [&](test::CFakeFileSystem& fs)
         { fillers(fs), fs.files[left + "\\notes.txt"] = "filler0"; },
         false},
        {"a link among the fillers",
         [&](test::CFakeFileSystem& fs) { fillers(fs), fs.links[left + "\\SHRED002.TMP"] = false; },
         false},
        {"a filler with a second name",
         [&](test::CFakeFileSystem& fs)
         {
             fillers(fs);
             fs.attributes[left + "\\SHRED001.TMP"].linkCount = 2;
         },
         false},
        {"a link in the folder's place", [&](test::CFakeFileSystem& fs) { fs.links[left] = true; },
         false},
    };
    for (const Case& c : cases)
    {
        test::FakePlatform fake("C:\\Qw\\Quellwipe.exe");
        fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
        fake.settings.WriteText(kAppPath, "C:\\Qw");
        fake.files.folders = {"D:"};
        c.plant(fake.files);
        const auto before = fake.files.files;
        CShredApp app(fake.platform);
        app.InitInstance("");
        app.m_unattended = true;
        fake.files.freeSpace = {100, 100};
        fake.files.spaceLeft = 100;
        WipeFreeSpace(test::Prepared(app), "D:\\");
        for (const auto& [path, bytes] : before)
        {
            if (path.starts_with(left))
            {
                EXPECT_EQ(fake.files.files.count(path), c.cleared ? 0u : 1u) << c.what << path;
                EXPECT_EQ(fake.files.files[path], c.cleared ? "" : bytes) << c.what << path;
            }
        }
        if (c.cleared)
        {
            // Deleted before the fill, which then took the name again.
            EXPECT_EQ(fake.files.created, std::vector<std::string>{left + "\\SHRED000.TMP"});
            EXPECT_EQ(fake.files.folders.count(left), 0u);
            EXPECT_EQ(fake.files.folders.count(left + "\\R\\d0"), 0u) << c.what;
            EXPECT_EQ(app.m_runStatus, "") << c.what;
        }
        else
        {
            EXPECT_EQ(app.m_runStatus, "Leftover: " + left) << c.what;
            EXPECT_TRUE(fake.files.folders.count(left) || fake.files.links.count(left)) << c.what;
        }
    }
}

TEST_F(FreeSpaceWipeTest, ProgressShowsTheFilesAndTheDrive)
{
    Unattended(1, 1);
    Space(GiB + 5, GiB + 5, 70000);
    std::set<std::string> captions;
    std::set<std::string> firstLines;
    m_fake.ui.onPump = [this, &captions, &firstLines](int)
    {
        captions.insert(m_fake.ui.window->caption);
        firstLines.insert(m_fake.ui.window->lines[1]);
    };
    WipeFreeSpace(test::Prepared(m_app), "D:\\");
    EXPECT_EQ(captions, std::set<std::string>{"Wiping D:"});
    EXPECT_TRUE(firstLines.count("Thorough file 1 of 2")) << *firstLines.begin();
    EXPECT_TRUE(firstLines.count("Filler SHRED000.TMP 1 of 2"));
}

} // namespace
} // namespace qw
