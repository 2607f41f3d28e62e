#include "engine/file_shredder.h"

#include "app/shred_app.h"
#include "engine/last_pass.h"
#include "engine/pattern.h"
#include "fakes/fake_platform.h"
#include "platform/setting_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>

namespace qw
{
namespace
{

constexpr const char* kPack = "[Tarnwell Language Pack]\n"
                              "9010=No progress window.\n9037=Cannot open %s.\n"
                              "9071=Not overwritten: %s (%u: %t)\n"
                              "9076=Not renamed: %s (%u: %t)\n9077=Left partly: %s\n"
                              "9038=Cannot delete %s.\n9903=Zeroes\n9904=One pass\n"
                              "9905=Random\n9906=Complement\n9907=Fresh random\n"
                              "9918=Round %u of %t\n9919=Filler %s, %u of %t\n"
                              "9085=Grew: %s\n9114=Not verified: %s\n"
                              "9115=Not read back: %s (%u: %t)\n9117=Checking\n"
                              "[Messages]\n9034=Not found: %s\n9036=Protected file %s. Shred?\n";

TEST(Blocks, CountIsOneMoreThanTheFullBlocks)
{
    EXPECT_EQ(BlockCount(0), 1u);
    EXPECT_EQ(BlockCount(65535), 1u);
    EXPECT_EQ(BlockCount(65536), 2u);
    EXPECT_EQ(BlockCount(100000), 2u);
    EXPECT_EQ(BlockCount(1ull << 31), (1ull << 15) + 1);
    EXPECT_EQ(BlockCount((1ull << 32) + 1), (1ull << 16) + 1);
    EXPECT_EQ(BlockCount(5ull << 30), 81921u);
}

TEST(Blocks, BytesEndExactlyAtTheSize)
{
    EXPECT_EQ(BlockBytes(0, 1), 0u);
    EXPECT_EQ(BlockBytes(65536, 1), 65536u);
    EXPECT_EQ(BlockBytes(65536, 2), 0u);
    EXPECT_EQ(BlockBytes(100000, 1), 65536u);
    EXPECT_EQ(BlockBytes(100000, 2), 34464u);
    std::uint64_t huge = (5ull << 30) + 7;
    EXPECT_EQ(BlockBytes(huge, BlockCount(huge)), 7u);
    EXPECT_EQ(BlockBytes((1ull << 32) - 1, 65536), 65535u);
}

TEST(Patterns, ZeroesRandomAndComplement)
{
    CRandom random(1);
    std::vector<std::uint8_t> buffer(65536, 0xAA);
    FillPattern(buffer.data(), buffer.size(), 0, random);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](auto b) { return b == 0; }));

    FillPattern(buffer.data(), buffer.size(), 1, random);
    std::vector<std::uint8_t> first = buffer;
    std::vector<int> counts(256, 0);
    for (auto b : first)
    {
        ++counts[b];
    }
    // 256 per value on average; a stuck or biased generator falls far out.
    EXPECT_GT(*std::min_element(counts.begin(), counts.end()), 150);
    EXPECT_LT(*std::max_element(counts.begin(), counts.end()), 380);

    FillPattern(buffer.data(), buffer.size(), 2, random);
    for (std::size_t i = 0; i < buffer.size(); ++i)
    {
        ASSERT_EQ(buffer[i], static_cast<std::uint8_t>(~first[i])) << i;
    }
    FillPattern(buffer.data(), 13, 2, random); // odd sizes too
    EXPECT_EQ(buffer[12], first[12]);

    FillPattern(buffer.data(), buffer.size(), 1, random);
    EXPECT_NE(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 64),
              std::vector<std::uint8_t>(first.begin(), first.begin() + 64));
    std::vector<std::uint8_t> before = buffer;
    FillPattern(buffer.data(), buffer.size(), 7, random);
    EXPECT_EQ(buffer, before);
}

TEST(Patterns, LettersAreAllFiftyTwoAndNothingElse)
{
    CRandom random(99);
    std::set<char> seen;
    for (int i = 0; i < 5000; ++i)
    {
        char c = random.Letter();
        ASSERT_TRUE((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) << int(c);
        seen.insert(c);
    }
    EXPECT_EQ(seen.size(), 52u);
}

// The comparison draws the random ranges again block by block from where
// each range starts, as the passes drew them, whatever pieces it is fed.
TEST(LastPass, ComparesRangesOfZeroesAndRandomDataInAnyPieces)
{
    CRandom first(11), second(12);
    CLastPass pass;
    pass.Add(0, 100000, &first);
    pass.Add(100000, 170001, &second); // a catch-up, not on a block
    pass.Add(170001, 170500, nullptr);
    std::vector<std::uint8_t> file(170500, 0);
    for (const auto& [start, end, state] :
         {std::tuple{0ull, 100000ull, first}, std::tuple{100000ull, 170001ull, second}})
    {
        CRandom random = state;
        for (std::uint64_t at = start; at < end; at += kBlockSize)
        {
            random.Fill(file.data() + at, std::min<std::uint64_t>(kBlockSize, end - at));
        }
    }
    auto compare = [&pass](const std::vector<std::uint8_t>& bytes, std::size_t piece)
    {
        CLastPassComparer comparer(pass);
        for (std::size_t at = 0; at < bytes.size(); at += piece)
        {
            if (!comparer.Next({bytes.data() + at, std::min(piece, bytes.size() - at)}))
            {
                return false;
            }
        }
        return true;
    };
    for (std::size_t piece : {std::size_t{1000}, std::size_t{4096}, std::size_t{1} << 20})
    {
        SCOPED_TRACE(piece);
        EXPECT_TRUE(compare(file, piece));
        for (std::size_t wrong : {0, 65535, 65536, 99999, 100000, 165536, 170000, 170001, 170499})
        {
            std::vector<std::uint8_t> bad = file;
            bad[wrong] ^= 0x01;
            EXPECT_FALSE(compare(bad, piece)) << wrong;
        }
        std::vector<std::uint8_t> longer = file;
        longer.push_back(0);
        EXPECT_FALSE(compare(longer, piece)); // beyond what was written
    }
}

bool AllLetters(const std::string& s)
{
    return !s.empty() &&
           std::all_of(s.begin(), s.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

TEST(RandomName, KeepsTheShapeOfTheLastComponent)
{
    CRandom random(7);
    std::string a = RandomSameShapeName("C:\\dir.x\\file", random);
    EXPECT_EQ(a.substr(0, 9), "C:\\dir.x\\");
    EXPECT_TRUE(AllLetters(a.substr(9))) << a;
    EXPECT_EQ(a.size(), 13u);

    std::string b = RandomSameShapeName("D:\\report.final.doc", random);
    ASSERT_EQ(b.size(), 19u);
    EXPECT_TRUE(AllLetters(b.substr(3, 12))) << b;
    EXPECT_EQ(b[15], '.');
    EXPECT_TRUE(AllLetters(b.substr(16))) << b;

    std::string c = RandomSameShapeName("D:\\x\\.hidden", random);
    EXPECT_EQ(c.substr(0, 6), "D:\\x\\.");
    EXPECT_TRUE(AllLetters(c.substr(6))) << c;
    EXPECT_EQ(c.size(), 12u);

    std::string d = RandomSameShapeName("D:\\name.", random);
    EXPECT_TRUE(AllLetters(d.substr(3, 4))) << d;
    EXPECT_EQ(d.back(), '.');

    // One letter per character, whatever its encoded length.
    std::string e = RandomSameShapeName("D:\\\xC3\xA4\xE2\x82\xAC.txt", random);
    EXPECT_EQ(e.size(), 3u + 2 + 4);
    EXPECT_EQ(e[5], '.');

    EXPECT_NE(RandomSameShapeName("D:\\same.txt", random),
              RandomSameShapeName("D:\\same.txt", random));
}

class FileShredderTest : public ::testing::Test
{
protected:
    FileShredderTest()
    {
        m_fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
        m_fake.settings.WriteText(kAppPath, "C:\\Qw");
        m_fake.settings.writes.clear();
        m_fake.files.folders = {"C:\\data"};
        m_app.InitInstance("");
        m_app.m_seedSource = [this] { return ++m_seed; };
    }

    void AddFile(const std::string& path, std::size_t size, char fill = 'S')
    {
        m_fake.files.files[path] = std::string(size, fill);
    }

    // The write offsets and sizes of each pass, split where the offset
    // restarts at 0.
    std::vector<std::vector<test::CFakeFileSystem::Write>> Passes() const
    {
        std::vector<std::vector<test::CFakeFileSystem::Write>> passes;
        for (const auto& w : m_fake.files.writes)
        {
            if (w.offset == 0 || passes.empty())
            {
                passes.emplace_back();
            }
            passes.back().push_back(w);
        }
        return passes;
    }

    long Count(const std::string& prefix) const
    {
        return std::count_if(m_fake.files.events.begin(), m_fake.files.events.end(),
                             [&prefix](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    }

    test::FakePlatform m_fake{"C:\\Qw\\Quellwipe.exe"};
    CShredApp m_app{m_fake.platform};
    std::uint64_t m_seed = 1000;
};

TEST_F(FileShredderTest, QuickShredOverwritesTruncatesRenamesAndDeletes)
{
    AddFile("C:\\data\\notes.txt", 100000);
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\notes.txt", ShredMode::Normal), 0);

    ASSERT_EQ(m_fake.files.writes.size(), 2u);
    EXPECT_EQ(m_fake.files.writes[0].offset, 0u);
    EXPECT_EQ(m_fake.files.writes[0].bytes, std::string(65536, '\0'));
    EXPECT_EQ(m_fake.files.writes[1].offset, 65536u);
    EXPECT_EQ(m_fake.files.writes[1].bytes, std::string(34464, '\0'));

    const auto& events = m_fake.files.events;
    ASSERT_GE(events.size(), 6u);
    EXPECT_EQ(events[0], "normal C:\\data\\notes.txt");
    EXPECT_EQ(events[1], "open C:\\data\\notes.txt");
    EXPECT_EQ(events[2], "flush C:\\data\\notes.txt");
    EXPECT_EQ(events[3], "truncate C:\\data\\notes.txt 0");
    // Renamed and deleted while the written handle is still open.
    ASSERT_EQ(events[4].rfind("rename C:\\data\\notes.txt C:\\data\\", 0), 0u);
    std::string renamed = events[4].substr(events[4].rfind(' ') + 1);
    EXPECT_NE(renamed, "C:\\data\\notes.txt");
    EXPECT_EQ(renamed.size(), std::string("C:\\data\\notes.txt").size());
    EXPECT_EQ(events[5], "delete " + renamed);
    EXPECT_EQ(events[6], "close " + renamed);
    EXPECT_TRUE(m_fake.files.files.count(renamed) == 0 &&
                m_fake.files.files.count("C:\\data\\notes.txt") == 0);

    test::CFakeProgressWindow* progress = m_fake.ui.window;
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->shown && progress->enabled);
    EXPECT_EQ(progress->lines[1], "C:\\data\\notes.txt");
    EXPECT_NE(std::find(progress->lineHistory.begin(), progress->lineHistory.end(), "2:Zeroes"),
              progress->lineHistory.end());
    EXPECT_EQ(progress->lines[2], "Checking");
    EXPECT_EQ(progress->lines[3], "One pass");
    // The pass's two blocks, then the read-back of its one piece.
    EXPECT_EQ(progress->range, (std::pair<std::uint64_t, std::uint64_t>{0, 1}));
    EXPECT_EQ(progress->position, 1u);
    EXPECT_EQ(m_fake.ui.pumps, 3); // after every block and piece read
    EXPECT_EQ(m_fake.files.readBacks, 1);
}

TEST_F(FileShredderTest, ThoroughShredWritesRandomComplementAndFreshRandomPerRound)
{
    m_fake.settings.WriteInt(kMethod, 1);
    m_fake.settings.WriteInt(kPassCount, 2);
    AddFile("C:\\data\\a.bin", 150000);
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\a.bin", ShredMode::Normal), 0);

    auto passes = Passes();
    ASSERT_EQ(passes.size(), 6u);
    EXPECT_EQ(Count("flush "), 6);
    for (int round = 0; round < 2; ++round)
    {
        const auto& random = passes[round * 3];
        const auto& complement = passes[round * 3 + 1];
        const auto& fresh = passes[round * 3 + 2];
        ASSERT_EQ(random.size(), 3u);
        // The first pass repeats one buffer of random data in every block.
        EXPECT_EQ(random[1].bytes, random[0].bytes);
        EXPECT_EQ(random[2].bytes, random[0].bytes.substr(0, 150000 - 131072));
        EXPECT_NE(random[0].bytes, std::string(65536, '\0'));
        for (std::size_t i = 0; i < random[0].bytes.size(); ++i)
        {
            ASSERT_EQ(static_cast<char>(~random[0].bytes[i]), complement[0].bytes[i]) << i;
        }
        // The third draws fresh data for each block.
        EXPECT_NE(fresh[0].bytes, fresh[1].bytes);
        EXPECT_NE(fresh[0].bytes, random[0].bytes);
    }
    EXPECT_NE(passes[0][0].bytes, passes[3][0].bytes);
    auto& history = m_fake.ui.window->lineHistory;
    EXPECT_NE(std::find(history.begin(), history.end(), "3:Round 1 of 2"), history.end());
    EXPECT_NE(std::find(history.begin(), history.end(), "3:Round 2 of 2"), history.end());
    EXPECT_NE(std::find(history.begin(), history.end(), "2:Complement"), history.end());
    EXPECT_NE(std::find(history.begin(), history.end(), "2:Fresh random"), history.end());
}

TEST_F(FileShredderTest, EmptyAndExactBlockSizedFiles)
{
    m_fake.settings.WriteInt(kVerify, 0); // the bar shows the passes alone
    AddFile("C:\\data\\empty", 0);
    AddFile("C:\\data\\exact", 65536);
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\empty", ShredMode::Normal), 0);
    EXPECT_TRUE(m_fake.files.writes.empty());
    EXPECT_EQ(m_fake.ui.window->range.second, 1u);
    EXPECT_EQ(Count("delete "), 1);

    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\exact", ShredMode::Normal), 0);
    ASSERT_EQ(m_fake.files.writes.size(), 1u);
    EXPECT_EQ(m_fake.files.writes[0].bytes.size(), 65536u);
    EXPECT_EQ(m_fake.ui.window->range.second, 2u);
    EXPECT_TRUE(m_fake.files.files.size() == 1); // only the language pack is left
}

TEST_F(FileShredderTest, OutOfRangeMethodsAndCountsAreCorrectedAndWriteFullPasses)
{
    // A method outside 0..1 is quick; a count outside 1..10 is 3 rounds.
    struct Case
    {
        int method, passes;
        std::size_t expectedPasses;
        bool unattended;
    };
    for (const Case& c :
         {Case{5, 3, 1, false}, Case{-1, 0, 1, false}, Case{1, 0, 9, false}, Case{1, 11, 9, false},
          Case{1, -4, 9, false}, Case{2, 3, 1, true}, Case{1, 0, 9, true}, Case{1, 10, 30, true}})
    {
        m_app.m_unattended = c.unattended;
        m_app.m_cmdMethod = c.method;
        m_app.m_cmdPasses = c.passes;
        m_fake.settings.WriteInt(kMethod, c.method);
        m_fake.settings.WriteInt(kPassCount, c.passes);
        m_fake.files.writes.clear();
        AddFile("C:\\data\\x", 70000);
        EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\x", ShredMode::Normal), 0);
        auto passes = Passes();
        ASSERT_EQ(passes.size(), c.expectedPasses) << c.method << "/" << c.passes;
        for (const auto& pass : passes)
        {
            ASSERT_EQ(pass.size(), 2u);
            EXPECT_EQ(pass[0].bytes.size() + pass[1].bytes.size(), 70000u);
        }
        EXPECT_EQ(m_fake.files.files.count("C:\\data\\x"), 0u);
    }
}

TEST_F(FileShredderTest, UnattendedRunsTakeMethodAndPassesFromTheCommandLine)
{
    m_app.m_unattended = true;
    m_app.m_cmdMethod = 1;
    m_app.m_cmdPasses = 1;
    AddFile("C:\\data\\x", 10);
    ShredFile(test::Prepared(m_app), "C:\\data\\x", ShredMode::Normal);
    EXPECT_EQ(Passes().size(), 3u);
    // Without "/O" and "/T" an unattended run is quick.
    m_app.m_cmdMethod = 0;
    m_app.m_cmdPasses = 0;
    m_fake.settings.WriteInt(kMethod, 1);
    m_fake.files.writes.clear();
    AddFile("C:\\data\\y", 10);
    ShredFile(test::Prepared(m_app), "C:\\data\\y", ShredMode::Normal);
    EXPECT_EQ(Passes().size(), 1u);
}

TEST_F(FileShredderTest, BinEntryKeepsTheNameAndEndsEmpty)
{
    AddFile("C:\\data\\$R123.doc", 5000);
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\$R123.doc", ShredMode::BinEntry), 0);
    ASSERT_EQ(m_fake.files.files.count("C:\\data\\$R123.doc"), 1u);
    EXPECT_EQ(m_fake.files.files["C:\\data\\$R123.doc"], "");
    EXPECT_EQ(Count("rename "), 0);
    EXPECT_EQ(Count("delete "), 0);
}

TEST_F(FileShredderTest, ProtectedFilesAreAskedAboutInInteractiveRuns)
{
    struct Case
    {
        std::string answer;
        int result;
        bool shredded;
    };
    for (const Case& c :
         {Case{"No", 1, false}, Case{"Cancel", 1, false}, Case{"", 0, false}, Case{"Yes", 0, true}})
    {
        AddFile("C:\\data\\ro.txt", 10);
        m_fake.files.attributes["C:\\data\\ro.txt"].readOnly = true;
        m_fake.presenter.shown.clear();
        m_fake.presenter.answers = {c.answer};
        EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\ro.txt", ShredMode::Normal), c.result)
            << c.answer;
        EXPECT_EQ(m_fake.files.files.count("C:\\data\\ro.txt") == 0, c.shredded) << c.answer;
        ASSERT_EQ(m_fake.presenter.shown.size(), 1u);
        EXPECT_EQ(m_fake.presenter.shown[0].text, "Protected file C:\\data\\ro.txt. Shred?");
        EXPECT_EQ(m_fake.presenter.shown[0].size, MessageSize::Middle);
        EXPECT_EQ(m_fake.presenter.shown[0].frame, 3);
        EXPECT_EQ(m_fake.presenter.shown[0].type, "warning");
    }
}

TEST_F(FileShredderTest, ProtectedFilesAreShreddedWithoutAQuestionUnattendedOrInTheBin)
{
    m_app.m_unattended = true;
    AddFile("C:\\data\\h.txt", 10);
    m_fake.files.attributes["C:\\data\\h.txt"].hidden = true;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\h.txt", ShredMode::Normal), 0);
    m_app.m_unattended = false;
    AddFile("C:\\data\\s.txt", 10);
    m_fake.files.attributes["C:\\data\\s.txt"].system = true;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\s.txt", ShredMode::BinSubtree), 0);
    EXPECT_TRUE(m_fake.presenter.shown.empty());
    EXPECT_EQ(Count("delete "), 2);
}

TEST_F(FileShredderTest, MissingFileIsReportedOrLogged)
{
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\gone.txt", ShredMode::Normal), 0);
    ASSERT_EQ(m_fake.presenter.shown.size(), 1u);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "Not found: C:\\data\\gone.txt");
    EXPECT_EQ(m_fake.presenter.shown[0].size, MessageSize::Small);

    m_app.m_unattended = true;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\gone.txt", ShredMode::Normal), 0);
    EXPECT_EQ(m_app.m_runStatus, "Not found: %s");
    EXPECT_EQ(m_fake.files.files["C:\\Qw\\log.txt"], "Not found: %s\r\n\r\n");
}

TEST_F(FileShredderTest, AFileThatCannotBeOpenedIsReportedInEveryModeAndLoggedUnattended)
{
    AddFile("C:\\data\\busy.txt", 10);
    m_fake.files.failOpen = {"C:\\data\\busy.txt"};
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\busy.txt", ShredMode::Normal), 0);
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\busy.txt", ShredMode::BinEntry), 1);
    ASSERT_EQ(m_fake.presenter.shown.size(), 2u);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "Cannot open C:\\data\\busy.txt.");
    EXPECT_EQ(m_fake.presenter.shown[0].size, MessageSize::Middle);

    m_app.m_unattended = true;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\busy.txt", ShredMode::Normal), 0);
    EXPECT_EQ(m_app.m_runStatus, "Cannot open %s.");
    EXPECT_EQ(m_fake.files.files["C:\\data\\busy.txt"], std::string(10, 'S'));
}

TEST_F(FileShredderTest, AFailedWriteLeavesTheFileAndIsReported)
{
    AddFile("C:\\data\\big", 200000);
    m_fake.files.failWriteAt = 1;
    m_app.m_unattended = true;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\big", ShredMode::Normal), 0);
    EXPECT_EQ(m_app.m_runStatus, "Not overwritten: %s (112: System error 112)");
    EXPECT_EQ(Count("truncate "), 0);
    EXPECT_EQ(Count("rename "), 0);
    EXPECT_EQ(m_fake.files.files.count("C:\\data\\big"), 1u);
    m_app.ExitInstance();
    EXPECT_EQ(m_fake.files.files["C:\\Qw\\log.txt"].find("Success"), std::string::npos);
}

TEST_F(FileShredderTest, AFailedDeleteRestoresTheNameAndReports)
{
    AddFile("C:\\data\\stuck.txt", 10);
    // Every name the file could get refuses to go.
    m_fake.files.onDeleteFailsFor = [](const std::string&) { return true; };
    m_fake.presenter.answers = {"Ok"};
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\stuck.txt", ShredMode::Normal), 1);
    EXPECT_EQ(m_fake.files.files.count("C:\\data\\stuck.txt"), 1u);
    EXPECT_EQ(m_fake.files.files["C:\\data\\stuck.txt"], ""); // overwritten and truncated
    ASSERT_EQ(m_fake.presenter.shown.size(), 1u);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "Cannot delete C:\\data\\stuck.txt.");
    EXPECT_EQ(m_fake.presenter.shown[0].frame, 2);

    m_fake.presenter.answers = {"Cancel"};
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\stuck.txt", ShredMode::Normal), 0);

    m_app.m_unattended = true;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\stuck.txt", ShredMode::Normal), 0);
    EXPECT_EQ(m_app.m_runStatus, "Cannot delete %s.");

    // Below a folder in the bin, a failed delete is not reported.
    m_app.m_runStatus.clear();
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\stuck.txt", ShredMode::BinSubtree), 0);
    EXPECT_EQ(m_app.m_runStatus, "");
}

TEST_F(FileShredderTest, TheRandomNameNeverReplacesAnExistingFile)
{
    AddFile("C:\\data\\ab.cd", 10);
    // The name the first seed gives is taken by another file.
    CRandom twin(m_seed + 1);
    std::string taken = RandomSameShapeName("C:\\data\\ab.cd", twin);
    AddFile(taken, 5, 'K');
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\ab.cd", ShredMode::Normal), 0);
    EXPECT_EQ(m_fake.files.files[taken], "KKKKK");
    EXPECT_EQ(m_fake.files.files.count("C:\\data\\ab.cd"), 0u);
    EXPECT_EQ(Count("delete "), 1);
}

TEST_F(FileShredderTest, ACancelMidFileKeepsTheFileAndNamesIt)
{
    AddFile("C:\\data\\large", 300000);
    m_fake.ui.cancelAtPump = 2;
    m_fake.presenter.answers = {"Ok"};
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\large", ShredMode::Normal), 1);
    // Its start is overwritten and flushed; the rest is left, with its name.
    EXPECT_EQ(m_fake.files.files["C:\\data\\large"],
              std::string(131072, '\0') + std::string(300000 - 131072, 'S'));
    EXPECT_EQ(Count("flush "), 1);
    EXPECT_EQ(Count("truncate ") + Count("rename ") + Count("delete "), 0);
    ASSERT_EQ(m_fake.presenter.shown.size(), 1u);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "Left partly: C:\\data\\large");

    m_app.m_unattended = true;
    m_fake.ui.cancelAtPump = m_fake.ui.pumps + 1;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\large", ShredMode::Normal), 1);
    EXPECT_EQ(m_app.m_runStatus, "Left partly: C:\\data\\large");
}

// A drive slow to flush a large pass: Cancel is answered while the flush
// still runs, and the file stays.
TEST_F(FileShredderTest, ACancelDuringALongFlushIsAnsweredWhileItRuns)
{
    const std::string path = "C:\\data\\large";
    AddFile(path, 9u << 20);
    std::atomic<bool> flushing{false}, answered{false};
    bool waitedInVain = false;
    m_fake.files.onFlush = [&](const std::string&)
    {
        flushing = true;
        for (int i = 0; i < 500 && !answered; ++i)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        waitedInVain = !answered;
        flushing = false;
    };
    m_fake.ui.onPump = [&](int)
    {
        if (flushing && !answered)
        {
            m_fake.ui.onCancel();
            answered = true;
        }
    };
    m_app.m_unattended = true;
    m_app.m_cmdMethod = 1; // the first of three passes is cancelled
    m_app.m_cmdPasses = 1;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), path, ShredMode::Normal), 1);
    EXPECT_FALSE(waitedInVain);
    EXPECT_EQ(m_fake.files.files[path].size(), 9u << 20);
    EXPECT_EQ(m_app.m_runStatus, "Left partly: " + path);
}

TEST_F(FileShredderTest, AFailedRenameIsReportedWithItsCodeAndKeepsTheEmptiedFile)
{
    AddFile("C:\\data\\name.txt", 10);
    m_fake.files.failRename = {"C:\\data\\name.txt"};
    m_app.m_unattended = true;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\name.txt", ShredMode::Normal), 0);
    EXPECT_EQ(m_fake.files.files["C:\\data\\name.txt"], "");
    EXPECT_EQ(Count("delete "), 0);
    EXPECT_EQ(m_app.m_runStatus, "Not renamed: C:\\data\\name.txt (5: System error 5)");
    m_app.ExitInstance();
    EXPECT_EQ(m_fake.files.files["C:\\Qw\\log.txt"].find("Success"), std::string::npos);
}

TEST_F(FileShredderTest, NoProgressWindowMeansNoShredding)
{
    m_fake.ui.failCreate = true;
    AddFile("C:\\data\\x", 10);
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\x", ShredMode::Normal), 1);
    EXPECT_EQ(m_fake.files.files["C:\\data\\x"], std::string(10, 'S'));
    ASSERT_EQ(m_fake.presenter.shown.size(), 1u);
    EXPECT_EQ(m_fake.presenter.shown[0].text, "No progress window.");

    m_app.m_unattended = true;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\x", ShredMode::Normal), 1);
    EXPECT_EQ(m_app.m_runStatus, "No progress window.");
}

TEST_F(FileShredderTest, SettingsAreReadAgainForEveryFile)
{
    AddFile("C:\\data\\one", 10);
    AddFile("C:\\data\\two", 10);
    ShredFile(test::Prepared(m_app), "C:\\data\\one", ShredMode::Normal);
    EXPECT_EQ(Passes().size(), 1u);
    m_fake.settings.WriteInt(kMethod, 1);
    m_fake.settings.WriteInt(kPassCount, 1);
    m_fake.files.writes.clear();
    ShredFile(test::Prepared(m_app), "C:\\data\\two", ShredMode::Normal);
    EXPECT_EQ(Passes().size(), 3u);
    EXPECT_EQ(m_fake.ui.created, 1); // one progress window serves the run
}

TEST_F(FileShredderTest, FilesOverFourGigabytesAreOverwrittenToTheLastByte)
{
    const std::uint64_t size = (5ull << 30) + 12345;
    m_fake.settings.WriteInt(kVerify, 0);
    m_fake.files.sizeOnly["C:\\data\\huge.vhd"] = size;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\huge.vhd", ShredMode::Normal), 0);
    const auto& last = m_fake.files.events[m_fake.files.events.size() - 6];
    EXPECT_EQ(last, "write C:\\data\\huge.vhd " + std::to_string(size - 12345) + " 12345");
    EXPECT_EQ(m_fake.ui.window->range.second, BlockCount(size));
}

TEST_F(FileShredderTest, AlternateStreamsAreOverwrittenAndGoWithTheFile)
{
    AddFile("C:\\data\\setup.exe", 1000);
    const std::string zone = "C:\\data\\setup.exe:Zone.Identifier:$DATA";
    m_fake.files.files[zone] = "[ZoneTransfer]\r\nHostUrl=https://example.invalid/setup.exe\r\n";
    m_fake.files.streams["C:\\data\\setup.exe"] = {":Zone.Identifier:$DATA"};
    const std::size_t zoneSize = m_fake.files.files[zone].size();
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\setup.exe", ShredMode::Normal), 0);
    std::uint64_t streamBytes = 0;
    for (const auto& w : m_fake.files.writes)
    {
        streamBytes += w.path == zone ? w.bytes.size() : 0;
    }
    EXPECT_EQ(streamBytes, zoneSize);
    EXPECT_EQ(Count("truncate " + zone + " 0"), 1);
    EXPECT_EQ(m_fake.files.files.count(zone), 0u);
    EXPECT_EQ(m_fake.files.files.count("C:\\data\\setup.exe"), 0u);

    // A stream that cannot be overwritten keeps the file, and says so.
    AddFile("C:\\data\\b.exe", 10);
    m_fake.files.files["C:\\data\\b.exe:s:$DATA"] = "origin";
    m_fake.files.streams["C:\\data\\b.exe"] = {":s:$DATA"};
    m_fake.files.failOpen = {"C:\\data\\b.exe:s:$DATA"};
    m_app.m_unattended = true;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\b.exe", ShredMode::Normal), 0);
    EXPECT_EQ(m_fake.files.files["C:\\data\\b.exe:s:$DATA"], "origin");
    EXPECT_EQ(m_fake.files.files.count("C:\\data\\b.exe"), 1u);
    EXPECT_EQ(m_app.m_runStatus, "Not overwritten: %s (32: System error 32)");
}

TEST_F(FileShredderTest, AFileThatGrewSinceItWasCheckedIsOverwrittenToItsNewEnd)
{
    AddFile("C:\\data\\log.txt", 100);
    m_fake.files.beforeOverwriteOpen = [this](const std::string& path)
    { m_fake.files.files[path] += std::string(200000, 'L'); };
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "C:\\data\\log.txt", ShredMode::Normal), 0);
    std::uint64_t end = 0;
    for (const auto& w : m_fake.files.writes)
    {
        end = std::max<std::uint64_t>(end, w.offset + w.bytes.size());
    }
    EXPECT_EQ(end, 200100u);
}

// The drive loses writes (reported done, never made) or another process
// appends: what is read back after the last pass finds it, the last pass is
// written once more, and what still differs is left under its name.
TEST_F(FileShredderTest, TheLastPassIsReadBackAndAFileThatStillDiffersIsLeft)
{
    enum class Grows
    {
        Never,
        Once,
        Always
    };
    struct Case
    {
        const char* what;
        int method;
        ShredMode mode;
        int lostWrites; // of the block at 65536: 0, 1 (the pass), or all
        Grows grows;
        bool verify;
        bool failRead;
        int result;
        int readBacks;
        std::string status; // empty: shredded
    };
    const std::string path = "C:\\data\\v.bin";
    const Case cases[] = {
        {"not verified: the loss stays unseen", 0, ShredMode::Normal, -1, Grows::Never, false,
         false, 0, 0, ""},
        {"one lost write, quick", 0, ShredMode::Normal, 1, Grows::Never, true, false, 0, 2, ""},
        {"one lost write, thorough", 1, ShredMode::Normal, 1, Grows::Never, true, false, 0, 2, ""},
        {"writes always lost", 0, ShredMode::Normal, -1, Grows::Never, true, false, 0, 2,
         "Not verified: " + path},
        {"always lost, bin", 1, ShredMode::BinEntry, -1, Grows::Never, true, false, 1, 2,
         "Not verified: " + path},
        {"grew once", 0, ShredMode::Normal, 0, Grows::Once, true, false, 0, 2, ""},
        {"grows at every look", 1, ShredMode::Normal, 0, Grows::Always, true, false, 0, 2,
         "Grew: " + path},
        {"unreadable", 0, ShredMode::Normal, 0, Grows::Never, true, true, 0, 1,
         "Not read back: " + path + " (23: System error 23)"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        m_app.m_unattended = true;
        m_app.m_cmdMethod = c.method;
        m_app.m_cmdPasses = 1;
        m_app.m_cmdVerify = c.verify ? 1 : 0;
        m_app.m_runStatus.clear();
        m_fake.files.readBacks = 0;
        m_fake.files.writes.clear();
        AddFile(path, 150000);
        const long passes = c.method == 0 ? 1 : 3;
        long seen = 0;
        m_fake.files.loseWrite = [&](const std::string& p, std::uint64_t offset)
        {
            // One loss hits the last pass; the rewrite then lands.
            return p == path && offset == 65536 &&
                   (c.lostWrites < 0 || (c.lostWrites == 1 && seen++ == passes - 1));
        };
        m_fake.files.beforeReadBack = [&](const std::string& p)
        {
            if (c.grows == Grows::Always || (c.grows == Grows::Once && m_fake.files.readBacks == 1))
            {
                m_fake.files.files[p] += std::string(70000, 'G');
            }
        };
        m_fake.files.failReadBack.clear();
        if (c.failRead)
        {
            m_fake.files.failReadBack.insert(path);
        }

        EXPECT_EQ(ShredFile(test::Prepared(m_app), path, c.mode), c.result);
        EXPECT_EQ(m_fake.files.readBacks, c.readBacks);
        EXPECT_EQ(m_app.m_runStatus, c.status);
        const bool left = m_fake.files.files.count(path) == 1;
        const bool leftByDesign = c.mode == ShredMode::BinEntry;
        EXPECT_EQ(left, !c.status.empty() || leftByDesign);
        if (!c.status.empty())
        {
            // Left as it is: not emptied, the old data not given up.
            EXPECT_NE(m_fake.files.files[path], "");
        }
        else if (left)
        {
            EXPECT_EQ(m_fake.files.files[path], "");
        }
        // The block found wrong is written once more, never more often.
        const auto rewritten =
            std::count_if(m_fake.files.writes.begin(), m_fake.files.writes.end(),
                          [&](const auto& w) { return w.path == path && w.offset == 65536; });
        EXPECT_EQ(rewritten, passes + (c.readBacks == 2 ? 1 : 0));
        m_fake.files.files.erase(path);
    }
    m_fake.files.loseWrite = nullptr;
    m_fake.files.beforeReadBack = nullptr;
    m_app.ExitInstance();
    EXPECT_EQ(m_fake.files.files["C:\\Qw\\log.txt"].find("Success"), std::string::npos);
}

TEST_F(FileShredderTest, FreeSpaceModeOnlyOverwritesTheOpenFiller)
{
    AddFile("D:\\SHREDTMP.$$$\\SHRED001.TMP", 70000);
    OsError error;
    auto entry = m_fake.files.Open("D:\\SHREDTMP.$$$\\SHRED001.TMP", error);
    auto filler = m_fake.files.OpenForOverwrite(*entry, error);
    FreeSpaceRecord record{filler.get(), "SHRED001.TMP", 70000};
    m_fake.files.events.clear();
    EXPECT_EQ(ShredFile(test::Prepared(m_app), "ignored", ShredMode::Normal, &record, 3, 9), 0);
    EXPECT_EQ(m_fake.files.writes.size(), 2u);
    EXPECT_EQ(Count("truncate "), 0);
    EXPECT_EQ(Count("close "), 0);
    EXPECT_EQ(Count("rename "), 0);
    EXPECT_EQ(m_fake.ui.window->lines[1], "Filler SHRED001.TMP, 3 of 9");
}

} // namespace
} // namespace qw
