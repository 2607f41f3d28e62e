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

// The chain C:\Deep\d\d\...\d, kDepth empty folders deep. Entries know only their level, so the
// chain costs memory linear in its depth where a map of whole paths would not.
class CChainFileSystem : public test::CFakeFileSystem
{
public:
    int existing = kDepth; // folders below the root still there

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
        error = {ErrorKind::NotFound, 2};
        return nullptr;
    }
    bool List(IEntry& folder, std::vector<FolderEntry>& entries, OsError&) override
    {
        int level = Level(folder);
        entries.clear();
        if (level < existing)
        {
            entries.push_back({"d", StatusOf(0)});
        }
        return true;
    }
    bool RemoveIn(IEntry& folder, const std::string& name, RemoveKind kind, OsError& error) override
    {
        // Only the deepest folder left, once empty, can go.
        if (name == "d" && kind == RemoveKind::Folder && Level(folder) + 1 == existing)
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
            return path;
        }
        int Level() const { return m_level; }

    private:
        int m_level;
        FileStatus m_status;
    };

    static std::unique_ptr<IEntry> Folder(int level)
    {
        return std::make_unique<CEntry>(level, StatusOf(static_cast<std::uint64_t>(level) + 1));
    }
    static FileStatus StatusOf(std::uint64_t id)
    {
        FileStatus status;
        status.isFolder = true;
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
    EXPECT_EQ(env.files.existing, 0); // every level removed, the deepest first
    EXPECT_EQ(app.m_runStatus, "");
}

} // namespace
} // namespace qw
