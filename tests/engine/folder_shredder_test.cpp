// The folder shredder on real temporary trees through the POSIX layer.

#include "engine/folder_shredder.h"

#include "app/main_window_host.h"
#include "app/shred_app.h"
#include "app/targets_run.h"
#include "fakes/fake_platform.h"
#include "fakes/recording_file_system.h"
#include "platform/posix/posix_file_system.h"
#include "platform/setting_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace qw
{
namespace
{

namespace fs = std::filesystem;

constexpr const char* kPack = "[Tarnwell Language Pack]\n"
                              "9011=Cannot list %s.\n9037=Cannot open %s.\n"
                              "9039=Protected: %s\n9040=System folder %s?\n"
                              "9041=Shred subfolder %s?\n9042=Remove subfolder %s?\n"
                              "9043=Not removed: %s#\n9044=Error %u: %s\n"
                              "9053=Not found: %s\n"
                              "9111=Changed file %s\n9112=Changed folder %s\n"
                              "[Messages]\n9034=Not found: %s\n";

using PosixEngine = test::FakePlatformOver<test::CFileSystemDecorator<CPosixFileSystem>>;

class FolderShredderTest : public ::testing::Test
{
protected:
    FolderShredderTest()
    {
        std::string pattern = (fs::temp_directory_path() / "qw-folder-XXXXXX").string();
        m_root = ::mkdtemp(pattern.data());
        fs::create_directories(m_root / "app" / "Lang");
        std::ofstream(m_root / "app" / "Lang" / "English.ini") << kPack;
        m_env.system.programPath = Win(m_root / "app" / "Quellwipe.exe");
        m_env.system.windowsDirectory = Win(m_root / "Windows");
        m_env.settings.WriteText(kAppPath, Win(m_root / "app"));
        m_app = std::make_unique<CShredApp>(m_env.platform);
        m_app->InitInstance("");
        m_app->m_protectedFolders[0] = Win(m_root / "Windows");

        // top/{a.txt, sub/{b.txt, deep/{c.txt}}, other/{d.txt}}
        Make("top/a.txt");
        Make("top/sub/b.txt");
        Make("top/sub/deep/c.txt");
        Make("top/other/d.txt");
    }
    ~FolderShredderTest() override { fs::remove_all(m_root); }

    static std::string Win(const fs::path& path)
    {
        std::string s = path.string();
        std::replace(s.begin(), s.end(), '/', '\\');
        return s;
    }
    void Make(const std::string& relative, const std::string& content = "secret")
    {
        fs::create_directories((m_root / relative).parent_path());
        std::ofstream(m_root / relative) << content;
    }
    bool Exists(const std::string& relative) const { return fs::exists(m_root / relative); }
    int Shred(const std::string& relative, bool system = false, ShredMode mode = ShredMode::Normal)
    {
        return ShredFolder(test::Prepared(*m_app), Win(m_root / relative), system, mode);
    }
    // An unattended run of the real targets run with these targets.
    std::string RunTargets(const std::string& targets)
    {
        CShredApp app(m_env.platform);
        app.InitInstance(R"("/s" "t" "/O0" "/F2" "/R2" )" + targets);
        CTargetsRun().Run(app);
        return app.m_runStatus;
    }
    std::string Quoted(const std::string& relative) const
    {
        return "\"" + Win(m_root) + "\\" + relative + "\"";
    }
    std::string Read(const std::string& relative) const
    {
        std::ifstream in(m_root / relative, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    void Rules(int folder, int remove)
    {
        m_env.settings.WriteInt(kFolder, folder);
        m_env.settings.WriteInt(kRemove, remove);
    }
    std::vector<std::string> Questions() const
    {
        std::vector<std::string> texts;
        for (const auto& shown : m_env.presenter.shown)
        {
            texts.push_back(shown.text);
        }
        return texts;
    }

    fs::path m_root;
    PosixEngine m_env;
    std::unique_ptr<CShredApp> m_app;
};

TEST_F(FolderShredderTest, RuleNeverShredsOnlyTheFolderItself)
{
    Rules(0, 2);
    EXPECT_EQ(Shred("top"), 0);
    EXPECT_FALSE(Exists("top/a.txt"));
    EXPECT_TRUE(Exists("top/sub/b.txt"));
    EXPECT_TRUE(Exists("top/sub/deep/c.txt"));
    EXPECT_TRUE(Exists("top"));
}

TEST_F(FolderShredderTest, AlwaysAndRemoveEmptiesTheTreeBottomUp)
{
    Rules(2, 2);
    EXPECT_EQ(Shred("top"), 0);
    EXPECT_TRUE(Exists("top"));
    EXPECT_TRUE(fs::is_empty(m_root / "top"));
    EXPECT_TRUE(Questions().empty());
}

TEST_F(FolderShredderTest, AlwaysWithoutRemoveLeavesTheEmptyTree)
{
    Rules(2, 0);
    EXPECT_EQ(Shred("top"), 0);
    EXPECT_TRUE(fs::is_empty(m_root / "top/sub/deep"));
    EXPECT_TRUE(fs::is_empty(m_root / "top/other"));
    EXPECT_FALSE(Exists("top/a.txt"));
    EXPECT_FALSE(Exists("top/sub/b.txt"));
}

TEST_F(FolderShredderTest, AskRulesAskPerSubfolderAndActOnTheAnswer)
{
    Rules(1, 1);
    // Listing order is the file system's: answer by the question's text.
    m_env.presenter.answers.clear();
    for (int i = 0; i < 8; ++i)
    {
        m_env.presenter.answers.push_back("Yes");
    }
    EXPECT_EQ(Shred("top"), 0);
    auto questions = Questions();
    // sub, deep, other asked to be shredded and removed.
    EXPECT_EQ(std::count_if(questions.begin(), questions.end(),
                            [](const std::string& q)
                            { return q.rfind("Shred subfolder", 0) == 0; }),
              3);
    EXPECT_EQ(std::count_if(questions.begin(), questions.end(),
                            [](const std::string& q)
                            { return q.rfind("Remove subfolder", 0) == 0; }),
              3);
    EXPECT_TRUE(fs::is_empty(m_root / "top"));
    for (const auto& shown : m_env.presenter.shown)
    {
        EXPECT_EQ(shown.frame, 3);
        EXPECT_EQ(shown.type, "info");
    }
}

TEST_F(FolderShredderTest, AskRuleNoSkipsAndOtherEndingsStop)
{
    Rules(1, 0);
    m_env.presenter.answers = {"No", "No"};
    EXPECT_EQ(Shred("top"), 0);
    EXPECT_TRUE(Exists("top/sub/b.txt"));
    EXPECT_TRUE(Exists("top/other/d.txt"));

    m_env.presenter.answers = {""};
    EXPECT_EQ(Shred("top"), 1); // the window was closed: stop
    EXPECT_TRUE(Exists("top/sub/b.txt") || Exists("top/other/d.txt"));
}

TEST_F(FolderShredderTest, RemoveQuestionsAreAskedInUnattendedRunsToo)
{
    m_app->m_unattended = true;
    m_app->m_cmdFolderRule = 2;
    m_app->m_cmdRemoveRule = 1;
    Rules(0, 0); // the settings do not count in unattended runs
    m_env.presenter.answers = {"No", "No", "No"};
    EXPECT_EQ(Shred("top"), 0);
    EXPECT_EQ(Questions().size(), 3u);
    EXPECT_TRUE(Exists("top/sub/deep"));
    EXPECT_FALSE(Exists("top/sub/deep/c.txt"));
}

TEST_F(FolderShredderTest, ProtectedFoldersAreLeftAloneButNotTheirSubfolders)
{
    Make("Windows/win.ini");
    Make("Windows/Temp/t.tmp");
    Rules(2, 2);
    EXPECT_EQ(Shred("Windows"), 0);
    EXPECT_TRUE(Exists("Windows/win.ini"));
    ASSERT_EQ(Questions().size(), 1u);
    EXPECT_EQ(Questions()[0], "Protected: " + Win(m_root / "Windows"));
    // Case does not matter for the comparison.
    std::string upper = Win(m_root / "WINDOWS");
    m_app->m_protectedFolders[0] = upper;
    EXPECT_EQ(
        ShredFolder(test::Prepared(*m_app), Win(m_root / "Windows"), false, ShredMode::Normal), 0);
    m_app->m_protectedFolders[0] = Win(m_root / "Windows");
    EXPECT_TRUE(Exists("Windows/win.ini"));

    EXPECT_EQ(Shred("Windows/Temp"), 0);
    EXPECT_FALSE(Exists("Windows/Temp/t.tmp"));

    m_app->m_unattended = true;
    EXPECT_EQ(Shred("Windows"), 0);
    EXPECT_EQ(m_app->m_runStatus, "Protected: %s");
}

TEST_F(FolderShredderTest, AnEmptyProtectedFolderDeepInATreeStays)
{
    fs::create_directories(m_root / "top/sub/deep/Windows");
    m_env.system.windowsDirectory = Win(m_root / "top/sub/deep/Windows");
    RunTargets(Quoted("top"));
    EXPECT_TRUE(fs::is_directory(m_root / "top/sub/deep/Windows"));
    EXPECT_NE(Read("app/log.txt").find("Protected: %s"), std::string::npos);
    EXPECT_FALSE(Exists("top/sub/deep/c.txt") || Exists("top/other"));
}

TEST_F(FolderShredderTest, SystemFoldersAreAskedAboutUnlessUnattended)
{
    Rules(0, 0);
    m_env.presenter.answers = {"No"};
    EXPECT_EQ(Shred("top", true), 1);
    EXPECT_TRUE(Exists("top/a.txt"));
    m_env.presenter.answers = {""};
    EXPECT_EQ(Shred("top", true), 0);
    EXPECT_TRUE(Exists("top/a.txt"));
    m_app->m_unattended = true;
    EXPECT_EQ(Shred("top", true), 0);
    EXPECT_FALSE(Exists("top/a.txt"));
    EXPECT_EQ(Questions().size(), 2u);
}

TEST_F(FolderShredderTest, AnUnlistableFolderIsReportedAndStops)
{
    m_app->m_unattended = true;
    EXPECT_EQ(Shred("no-such-folder"), 1);
    EXPECT_EQ(m_app->m_runStatus, "Cannot list %s.");
}

TEST_F(FolderShredderTest, ASubfolderThatKeepsAnEntryIsReportedWithTheSystemError)
{
    // A socket cannot be opened for writing, even by root, so it stays.
    std::string socketPath = (m_root / "top/sub/deep/endpoint").string();
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);

    m_app->m_unattended = true;
    m_app->m_cmdFolderRule = 2;
    m_app->m_cmdRemoveRule = 2;
    EXPECT_EQ(Shred("top"), 0);
    EXPECT_TRUE(Exists("top/sub/deep/endpoint"));
    EXPECT_FALSE(Exists("top/sub/deep/c.txt"));
    EXPECT_FALSE(Exists("top/other"));
    std::string log = m_env.files.ReadWholeFile(Win(m_root / "app/log.txt")).value_or("");
    std::string expected = "Not removed: " + Win(m_root / "top/sub/deep") + "#Error " +
                           std::to_string(ENOTEMPTY) + ": " + std::strerror(ENOTEMPTY) + "\r\n\r\n";
    EXPECT_NE(log.find(expected), std::string::npos) << log;
    // The parent of the kept folder cannot go either; each is reported.
    EXPECT_NE(log.find("Not removed: " + Win(m_root / "top/sub") + "#"), std::string::npos);
}

TEST_F(FolderShredderTest, LinksAreRemovedAndTheirTargetsNeverTouched)
{
    Make("outside/precious.txt", "keep me");
    Make("outside/dir/inner.txt", "keep me too");
    fs::create_symlink(m_root / "outside/precious.txt", m_root / "top/file-link");
    fs::create_directory_symlink(m_root / "outside/dir", m_root / "top/folder-link");
    Rules(2, 2);
    EXPECT_EQ(Shred("top"), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_root / "top/file-link")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_root / "top/folder-link")));
    std::ifstream precious(m_root / "outside/precious.txt");
    std::string content((std::istreambuf_iterator<char>(precious)), {});
    EXPECT_EQ(content, "keep me");
    EXPECT_TRUE(Exists("outside/dir/inner.txt"));

    // With the remove rule "never" a folder link stays, unfollowed.
    fs::create_directory_symlink(m_root / "outside/dir", m_root / "top/folder-link");
    Rules(2, 0);
    EXPECT_EQ(Shred("top"), 0);
    EXPECT_TRUE(fs::is_symlink(m_root / "top/folder-link"));
    EXPECT_TRUE(Exists("outside/dir/inner.txt"));
}

TEST_F(FolderShredderTest, AFolderSwappedForALinkAfterTheListingIsNeverEntered)
{
    Make("outside/precious.txt", "keep me");
    Rules(2, 2);
    // Between the listing of top and the descent into sub, sub becomes a
    // link to a folder outside the tree.
    m_env.files.beforeOpenIn = [this](const std::string& path)
    {
        if (path == Win(m_root / "top/sub") && !fs::is_symlink(m_root / "top/sub"))
        {
            fs::rename(m_root / "top/sub", m_root / "moved");
            fs::create_directory_symlink(m_root / "outside", m_root / "top/sub");
        }
    };
    EXPECT_EQ(Shred("top"), 0);
    EXPECT_EQ(Read("outside/precious.txt"), "keep me");
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_root / "top/sub"))); // the link went
    EXPECT_TRUE(Exists("moved/b.txt")); // no longer in the tree: untouched
    EXPECT_FALSE(Exists("top/a.txt"));
}

TEST_F(FolderShredderTest, TargetsAreDecidedOnTheirCanonicalName)
{
    Make("Windows/win.ini", "w");
    Make("outside/precious.txt", "keep me");
    Make("names/foo", "plain");
    Make("names/foo.", "dotted");
    Make("names/bar ", "blank");
    Make("names/bar", "no blank");
    fs::create_symlink(m_root / "outside/precious.txt", m_root / "file-link");
    fs::create_directory_symlink(m_root / "loop", m_root / "loop"); // points at itself
    fs::create_directories(m_root / "cycle");
    fs::create_directory_symlink(m_root / "cycle", m_root / "cycle/back");
    Make("cycle/c.txt");

    // A protected folder is protected by any of its names.
    for (const std::string alias : {"Windows\\.", "Windows\\", "top\\..\\Windows", "Windows/."})
    {
        EXPECT_EQ(RunTargets(Quoted(alias)), "Protected: %s") << alias;
        EXPECT_EQ(Read("Windows/win.ini"), "w") << alias;
    }
    // Trailing dots and blanks belong to the name.
    RunTargets(Quoted("names\\foo.") + " " + Quoted("names\\bar "));
    EXPECT_EQ(Read("names/foo"), "plain");
    EXPECT_EQ(Read("names/bar"), "no blank");
    EXPECT_FALSE(Exists("names/foo."));
    EXPECT_FALSE(Exists("names/bar "));
    // A link named as a target goes; what it points to stays.
    EXPECT_EQ(RunTargets(Quoted("file-link") + " " + Quoted("loop")), "Success");
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_root / "file-link")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_root / "loop")));
    EXPECT_EQ(Read("outside/precious.txt"), "keep me");
    // A link back up the tree is not a way round: the walk ends.
    EXPECT_EQ(RunTargets(Quoted("cycle")), "Success");
    EXPECT_FALSE(Exists("cycle"));
}

TEST_F(FolderShredderTest, ABinEntryFolderKeepsItsDirectSubfoldersOnly)
{
    Rules(0, 0); // rules do not apply in the bin modes
    EXPECT_EQ(Shred("top", false, ShredMode::BinEntry), 0);
    EXPECT_FALSE(Exists("top/a.txt"));
    EXPECT_TRUE(Exists("top/sub"));
    EXPECT_TRUE(Exists("top/other"));
    EXPECT_FALSE(Exists("top/sub/deep"));
    EXPECT_FALSE(Exists("top/sub/b.txt"));
    EXPECT_TRUE(Questions().empty());
}

TEST_F(FolderShredderTest, AListedEntryIsShreddedOnlyWhileItIsWhatWasAdded)
{
    Make("outside/victim.txt", "victim");
    Make("outside/dir/v.txt", "victim");
    struct Case
    {
        const char* what;
        bool folder;
        bool missingWhenAdded;
        std::function<void(const fs::path&)> change; // of the entry, after it was added
        bool shredded;
    };
    const fs::path outside = m_root / "outside";
    const Case cases[] = {
        {"file kept", false, false, nullptr, true},
        {"file replaced by another file", false, false,
         [this](const fs::path& p)
         {
             Make("new.txt", "innocent");
             fs::rename(m_root / "new.txt", p);
         },
         false},
        {"file replaced by a link", false, false,
         [&outside](const fs::path& p)
         {
             fs::remove(p);
             fs::create_symlink(outside / "victim.txt", p);
         },
         false},
        {"file replaced by a folder", false, false,
         [](const fs::path& p)
         {
             fs::remove(p);
             fs::create_directory(p);
             std::ofstream(p / "inner.txt") << "innocent";
         },
         false},
        {"file that appeared later", false, true,
         [](const fs::path& p) { std::ofstream(p) << "new"; }, true},
        {"link that appeared later", false, true,
         [&outside](const fs::path& p) { fs::create_symlink(outside / "victim.txt", p); }, false},
        {"folder kept", true, false, nullptr, true},
        {"folder replaced by a file", true, false,
         [](const fs::path& p)
         {
             fs::remove_all(p);
             std::ofstream(p) << "innocent";
         },
         false},
        {"folder replaced by a link", true, false,
         [&outside](const fs::path& p)
         {
             fs::remove_all(p);
             fs::create_directory_symlink(outside / "dir", p);
         },
         false},
    };
    CAppMainWindowHost host(*m_app);
    Rules(2, 2);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const fs::path entry = m_root / "listed";
        fs::remove_all(entry);
        if (!c.missingWhenAdded)
        {
            c.folder ? Make("listed/secret.txt") : Make("listed");
        }
        const ListedEntry added = host.DescribeEntry(Win(entry));
        if (c.change)
        {
            c.change(entry);
        }
        m_env.presenter.shown.clear();
        host.BeginRun({});
        EXPECT_TRUE(host.ShredListed(Win(entry), c.folder, added));
        host.EndRun();
        const bool present = fs::exists(fs::symlink_status(entry));
        if (c.shredded)
        {
            EXPECT_TRUE(c.folder ? !present || fs::is_empty(entry) : !present);
            EXPECT_TRUE(Questions().empty());
        }
        else
        {
            EXPECT_TRUE(present);
            EXPECT_EQ(Questions(),
                      (std::vector<std::string>{(c.folder ? "Changed folder " : "Changed file ") +
                                                Win(entry)}));
            if (fs::is_regular_file(fs::symlink_status(entry)))
            {
                EXPECT_EQ(Read("listed"), "innocent");
            }
            if (fs::is_directory(fs::symlink_status(entry)))
            {
                EXPECT_EQ(Read("listed/inner.txt"), "innocent");
            }
        }
        EXPECT_EQ(Read("outside/victim.txt"), "victim");
        EXPECT_EQ(Read("outside/dir/v.txt"), "victim");
    }
}

TEST_F(FolderShredderTest, CancelStopsTheWalk)
{
    Rules(2, 2);
    m_env.ui.cancelAtPump = 1;
    EXPECT_EQ(Shred("top"), 1);
    int left = 0;
    for (const char* f : {"top/a.txt", "top/sub/b.txt", "top/sub/deep/c.txt", "top/other/d.txt"})
    {
        left += Exists(f);
    }
    // The file being written when Cancel came stays, its start overwritten.
    EXPECT_EQ(left, 4);
}

} // namespace
} // namespace qw
