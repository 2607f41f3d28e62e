// The file shredder through the real POSIX layer on real files.

#include "app/setting_names.h"
#include "app/shred_app.h"
#include "engine/file_shredder.h"
#include "fakes/fake_platform.h"
#include "fakes/recording_file_system.h"
#include "platform/posix/posix_file_system.h"

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

// The data goes under every name; the other name stays and is reported.
TEST_F(RealFileTest, AHardLinkedFileIsOverwrittenAndItsOtherNameReported)
{
    fs::path file = m_root / "shared.doc";
    std::ofstream(file) << std::string(70000, 'S');
    fs::create_hard_link(file, m_root / "other.doc");
    EXPECT_EQ(ShredFile(test::Prepared(m_app), Win(file), ShredMode::Normal), 0);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(m_env.files.extents[Win(file)].end, 70000u);
    EXPECT_EQ(fs::file_size(m_root / "other.doc"), 0u);
    // The one report: the name that stays (POSIX cannot list it).
    ASSERT_EQ(m_env.presenter.shown.size(), 1u);
    EXPECT_EQ(m_env.presenter.shown[0].size, MessageSize::Middle);
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
    std::ofstream(m_root / "secret.doc") << std::string(1000, 'S');
    // After the last block, before the rename: the written file moves
    // aside and another takes its name.
    m_env.ui.onPump = [this](int)
    {
        fs::rename(m_root / "secret.doc", m_root / "aside.doc");
        std::ofstream(m_root / "secret.doc") << "innocent";
    };
    m_app.m_unattended = true;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), Win(m_root / "secret.doc"), ShredMode::Normal), 0);
    std::ifstream in(m_root / "secret.doc");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "innocent");
    EXPECT_EQ(fs::file_size(m_root / "aside.doc"), 0u); // the written one, emptied
    EXPECT_EQ(std::distance(fs::directory_iterator(m_root), {}), 2);
    EXPECT_NE(m_app.m_runStatus, ""); // reported, so no "Success"
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
    EXPECT_EQ(m_env.ui.window->range.second, size / 65536 + 1);
    EXPECT_TRUE(fs::is_empty(m_root));
}

} // namespace
} // namespace qw
