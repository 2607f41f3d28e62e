// A folder tree far deeper than a call stack holds, shredded on a thread
// whose stack is small: a shredder that recursed per level would overflow.

#include "app/shred_app.h"
#include "engine/folder_shredder.h"
#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <pthread.h>

namespace qw
{
namespace
{

constexpr int kDepth = 20000;
constexpr std::size_t kStackBytes = 256 * 1024;
const std::string kRoot = "C:\\Deep";

// The chain C:\Deep\d\d\...\d, kDepth folders deep, with a file "f" in the
// deepest. Entries know only their level, so the chain costs memory linear
// in its depth where a map of whole paths would not.
class CChainFileSystem : public test::CFakeFileSystem
{
public:
    int existing = kDepth; // folders below the root still there
    bool fileThere = true;
    std::uint64_t fileBytesWritten = 0;
    bool fileRenamed = false;

    std::unique_ptr<IEntry> Open(const std::string& path, OsError& error) override
    {
        return path == kRoot ? Folder(0) : CFakeFileSystem::Open(path, error);
    }
    std::unique_ptr<IEntry> OpenIn(IEntry& folder, const std::string& name, OsError& error) override
    {
        int level = Level(folder);
        if (name == "d" && level < existing)
        {
            return Folder(level + 1);
        }
        if (name == "f" && level == kDepth && fileThere)
        {
            return std::make_unique<CEntry>(level, StatusOf(false, 0));
        }
        error = {ErrorKind::NotFound, 2};
        return nullptr;
    }
    bool List(IEntry& folder, std::vector<FolderEntry>& entries, OsError&) override
    {
        int level = Level(folder);
        entries.clear();
        if (level < existing)
        {
            entries.push_back({"d", StatusOf(true, 0)});
        }
        else if (level == kDepth && fileThere)
        {
            entries.push_back({"f", StatusOf(false, 0)});
        }
        return true;
    }
    bool SetNormalAttributes(IEntry&, OsError&) override { return true; }
    std::vector<std::string> Streams(IEntry&) override { return {}; }
    std::unique_ptr<IOpenFile> OpenForOverwrite(IEntry&, OsError&) override
    {
        return std::make_unique<CFile>(*this);
    }
    bool RemoveIn(IEntry& folder, const std::string& name, RemoveKind kind, OsError& error) override
    {
        // Only the deepest folder left, once empty, can go.
        if (name == "d" && kind == RemoveKind::Folder && Level(folder) + 1 == existing &&
            !(existing == kDepth && fileThere))
        {
            --existing;
            return true;
        }
        error = {ErrorKind::NotEmpty, 145};
        return false;
    }

private:
    class CEntry : public IEntry
    {
    public:
        CEntry(int level, FileStatus status) : m_level(level), m_status(status) {}
        const FileStatus& Status() const override { return m_status; }
        std::string Path() const override
        {
            std::string path = kRoot;
            for (int i = 0; i < m_level; ++i)
            {
                path += "\\d";
            }
            return m_status.isFolder ? path : path + "\\f";
        }
        int Level() const { return m_level; }

    private:
        int m_level;
        FileStatus m_status;
    };

    class CFile : public IOpenFile
    {
    public:
        explicit CFile(CChainFileSystem& fs) : m_fs(fs) {}
        bool WriteAt(std::uint64_t, const std::uint8_t*, std::size_t size, OsError&) override
        {
            m_fs.fileBytesWritten += size;
            return true;
        }
        bool Flush(OsError&) override { return true; }
        bool Truncate(std::uint64_t, OsError&) override { return true; }
        std::optional<std::uint64_t> Size(OsError&) override { return 100; }
        bool Close(OsError&) override { return true; }
        bool Rename(IEntry&, const std::string&, const std::string&, OsError&) override
        {
            m_fs.fileRenamed = true;
            return true;
        }
        bool Delete(IEntry&, const std::string&, OsError&) override
        {
            m_fs.fileThere = false;
            return true;
        }

    private:
        CChainFileSystem& m_fs;
    };

    static std::unique_ptr<IEntry> Folder(int level)
    {
        return std::make_unique<CEntry>(level,
                                        StatusOf(true, static_cast<std::uint64_t>(level) + 1));
    }
    static FileStatus StatusOf(bool folder, std::uint64_t id)
    {
        FileStatus status;
        status.isFolder = folder;
        status.size = folder ? 0 : 100;
        status.identity = {3, id, true};
        return status;
    }
    static int Level(IEntry& entry) { return static_cast<CEntry&>(entry).Level(); }
};

void RunOnSmallStack(const std::function<void()>& work)
{
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, kStackBytes), 0);
    pthread_t thread;
    auto run = [](void* argument) -> void*
    {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

TEST(DeepTree, TwentyThousandLevelsAreShreddedAndRemovedBottomUpOnASmallStack)
{
    test::FakePlatformOver<CChainFileSystem> env;
    env.files.files["C:\\Qw\\Lang\\English.ini"] = "[Tarnwell Language Pack]\n9039=Protected %s\n";
    env.system.programPath = "C:\\Qw\\Quellwipe.exe";
    CShredApp app(env.platform);
    app.InitInstance("");
    app.m_unattended = true;
    app.m_cmdFolderRule = 2;
    app.m_cmdRemoveRule = 2;
    int result = -1;
    RunOnSmallStack(
        [&] { result = ShredFolder(test::Prepared(app), kRoot, false, ShredMode::Normal); });

    EXPECT_EQ(result, 0);
    EXPECT_EQ(env.files.fileBytesWritten, 100u);
    EXPECT_TRUE(env.files.fileRenamed);
    EXPECT_FALSE(env.files.fileThere);
    EXPECT_EQ(env.files.existing, 0); // every level removed, the deepest first
    EXPECT_EQ(app.m_runStatus, "");
}

} // namespace
} // namespace qw
