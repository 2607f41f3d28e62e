// The file shredder through the real POSIX layer on real files.

#include "app/shred_app.h"
#include "engine/file_shredder.h"
#include "fakes/fake_platform.h"
#include "fakes/recording_file_system.h"
#include "platform/posix/posix_file_system.h"
#include "platform/setting_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace qw
{
namespace
{

namespace fs = std::filesystem;

using RecordedPosixEngine = test::FakePlatformOver<test::CRecordingFileSystem<CPosixFileSystem>>;

std::string Win(const fs::path& path)
{
    std::string s = path.string();
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

class RealFileTest : public ::testing::Test
{
protected:
    explicit RealFileTest(const fs::path& base = fs::temp_directory_path())
    {
        std::string pattern = (base / "qw-real-XXXXXX").string();
        m_root = ::mkdtemp(pattern.data());
        m_app.InitInstance("");
    }
    ~RealFileTest() override { fs::remove_all(m_root); }

    fs::path m_root;
    RecordedPosixEngine m_env;
    CShredApp m_app{m_env.platform};
};

TEST_F(RealFileTest, ThoroughShredOverwritesEveryByteOfEveryPassThenDeletes)
{
    fs::path file = m_root / "secret.doc";
    std::ofstream(file) << std::string(200001, 'S');
    m_env.settings.WriteInt(kMethod, 1);
    m_env.settings.WriteInt(kPassCount, 2);
    EXPECT_EQ(ShredFile(test::Prepared(m_app), Win(file), ShredMode::Normal), 0);
    const auto& extent = m_env.files.extents[Win(file)];
    EXPECT_EQ(extent.end, 200001u);
    EXPECT_EQ(extent.bytes, 6u * 200001);
    EXPECT_EQ(extent.flushes, 6);
    EXPECT_TRUE(fs::is_empty(m_root)); // renamed and deleted
}

std::string Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Content shared with a name the run does not shred stays: only the name
// given goes, and the run says so. POSIX cannot list the other names: the
// files the run names are compared by identity.
TEST_F(RealFileTest, AHardLinkedFileIsOverwrittenOnlyWhenTheRunNamesItsOtherName)
{
    for (bool otherNamed : {false, true})
    {
        SCOPED_TRACE(otherNamed);
        fs::path file = m_root / "shared.doc";
        fs::path other = m_root / "other.doc";
        std::ofstream(file) << std::string(70000, 'S');
        fs::create_hard_link(file, other);
        m_env.presenter.shown.clear();
        m_env.files.extents.clear();
        std::vector<std::string> targets{Win(file)};
        if (otherNamed)
        {
            targets.push_back(Win(other));
        }
        m_app.SetRunTargets(targets);
        EXPECT_EQ(ShredFile(test::Prepared(m_app), Win(file), ShredMode::Normal), 0);
        EXPECT_FALSE(fs::exists(file));
        EXPECT_EQ(m_env.files.extents.count(Win(file)), otherNamed ? 1u : 0u);
        EXPECT_EQ(Read(other), otherNamed ? "" : std::string(70000, 'S'));
        EXPECT_EQ(m_env.presenter.shown.size(), otherNamed ? 0u : 1u);
        fs::remove(other);
    }
}

// Another process appends while the passes run: what it added is
// overwritten too, or, while it keeps adding, the file stays and is
// reported. Truncating would drop the unwritten rest into free space.
TEST_F(RealFileTest, DataAddedDuringTheShredIsOverwrittenOrTheFileStays)
{
    struct Case
    {
        const char* call;
        int appends; // how many of those calls append 50000 bytes first
        bool shredded;
    } cases[] = {
        {"flush", 1, true}, {"flush", 3, true}, {"flush", 100, false}, {"truncated", 1, false}};
    m_app.m_unattended = true;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.appends));
        fs::path file = m_root / "grow.log";
        std::ofstream(file) << std::string(70000, 'S');
        int left = c.appends;
        m_env.files.before = [&](const std::string& call, const std::string&)
        {
            if (call == c.call && left-- > 0)
            {
                std::ofstream(file, std::ios::app) << std::string(50000, 'G');
            }
        };
        m_env.files.extents.clear();
        m_app.m_runStatus.clear();
        EXPECT_EQ(ShredFile(test::Prepared(m_app), Win(file), ShredMode::Normal), 0);
        EXPECT_EQ(fs::exists(file), !c.shredded);
        EXPECT_EQ(m_app.m_runStatus.empty(), c.shredded);
        if (c.shredded)
        {
            EXPECT_EQ(m_env.files.extents[Win(file)].end, 70000u + 50000u * c.appends);
        }
        else
        {
            // No byte of the original, which was overwritten, remains.
            EXPECT_EQ(Read(file).find('S'), std::string::npos);
            fs::remove(file);
        }
    }
    m_env.files.before = nullptr;
}

TEST_F(RealFileTest, BinEntryLeavesAnEmptyFileUnderItsName)
{
    fs::path file = m_root / "$R0001.txt";
    std::ofstream(file) << "recycled";
    EXPECT_EQ(ShredFile(test::Prepared(m_app), Win(file), ShredMode::BinEntry), 0);
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::file_size(file), 0u);
}

TEST_F(RealFileTest, ALinkIsRemovedAndItsTargetKeepsItsBytes)
{
    std::ofstream(m_root / "target.txt") << "precious";
    fs::create_symlink(m_root / "target.txt", m_root / "link.txt");
    EXPECT_EQ(ShredFile(test::Prepared(m_app), Win(m_root / "link.txt"), ShredMode::Normal), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_root / "link.txt")));
    std::ifstream in(m_root / "target.txt");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "precious");
    EXPECT_EQ(m_env.files.extents.count(Win(m_root / "target.txt")), 0u);
}

TEST_F(RealFileTest, AFileSwappedInAfterTheOverwriteIsNeitherRenamedNorDeleted)
{
    // The written file moves aside and another takes its name (an editor's
    // save): after the last block, or just before the rename. Renamed by the
    // handle, or by the name it was opened with, as wine 8.0 does.
    m_app.m_unattended = true;
    for (const char* when : {"pump", "rename"})
    {
        for (bool byName : {false, true})
        {
            SCOPED_TRACE(std::string(when) + (byName ? " by name" : " by handle"));
            std::ofstream(m_root / "secret.doc") << std::string(1000, 'S');
            bool swapped = false;
            auto swap = [&]
            {
                if (!std::exchange(swapped, true))
                {
                    fs::rename(m_root / "secret.doc", m_root / "aside.doc");
                    std::ofstream(m_root / "secret.doc") << "innocent";
                }
            };
            m_env.ui.onPump = [&](int)
            {
                if (std::string(when) == "pump")
                {
                    swap();
                }
            };
            m_env.files.before = [&](const std::string& call, const std::string&)
            {
                if (call == when)
                {
                    swap();
                }
            };
            m_env.files.byName = byName;
            m_app.m_runStatus.clear();
            EXPECT_EQ(
                ShredFile(test::Prepared(m_app), Win(m_root / "secret.doc"), ShredMode::Normal), 0);
            EXPECT_EQ(Read(m_root / "secret.doc"), "innocent");
            EXPECT_EQ(fs::file_size(m_root / "aside.doc"), 0u); // the written one, emptied
            EXPECT_EQ(std::distance(fs::directory_iterator(m_root), {}), 2);
            EXPECT_NE(m_app.m_runStatus, ""); // reported, so no "Success"
            fs::remove(m_root / "secret.doc");
            fs::remove(m_root / "aside.doc");
        }
    }
    m_env.files.before = nullptr;
    m_env.ui.onPump = nullptr;
}

// In memory: the point is the 64-bit arithmetic, not the disk.
class HugeFileTest : public RealFileTest
{
protected:
    HugeFileTest() : RealFileTest(fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path())
    {
    }
};

TEST_F(HugeFileTest, ASparseFileOverFourGigabytesIsOverwrittenToItsLastByte)
{
    const std::uint64_t size = (4ull << 30) + 4097;
    auto space = fs::space(m_root);
    if (space.available < size + (256ull << 20))
    {
        GTEST_SKIP() << "needs " << size << " bytes free in " << m_root << ", has "
                     << space.available;
    }
    fs::path file = m_root / "disk.img";
    {
        std::ofstream out(file, std::ios::binary);
    }
    fs::resize_file(file, size);
    EXPECT_EQ(ShredFile(test::Prepared(m_app), Win(file), ShredMode::Normal), 0);
    const auto& extent = m_env.files.extents[Win(file)];
    EXPECT_EQ(extent.end, size);
    EXPECT_EQ(extent.bytes, size);
    // Read back to its last byte too: the bar ends on the read-back's pieces.
    EXPECT_EQ(m_env.ui.window->range.second, (size + (1 << 20) - 1) >> 20);
    EXPECT_TRUE(fs::is_empty(m_root));
}

} // namespace
} // namespace qw
