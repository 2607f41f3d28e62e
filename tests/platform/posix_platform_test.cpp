#include "platform/posix/openssl_sha256.h"
#include "platform/posix/posix_file_system.h"
#include "platform/sha256_vectors.h"
#include "platform/posix/posix_named_mutexes.h"
#include "platform/posix/posix_settings_store.h"
#include "platform/posix/posix_text_codec.h"

#include <gtest/gtest.h>

#include <map>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace qw
{
namespace
{

namespace fs = std::filesystem;

class TempFolder
{
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "qw-test-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(m_path); }
    const fs::path& Path() const { return m_path; }
    // The same folder as the program writes it.
    std::string Backslashed() const
    {
        std::string s = m_path.string();
        std::replace(s.begin(), s.end(), '/', '\\');
        return s;
    }

private:
    fs::path m_path;
};

TEST(OpenSslSha256, KnownDigests)
{
    COpenSslSha256 sha;
    for (const auto& v : kSha256Vectors)
    {
        EXPECT_EQ(sha.Hex(v.text), v.digest) << v.text;
    }
}

TEST(PosixSettingsStore, DefaultsUntilWrittenThenTypedValues)
{
    TempFolder dir;
    CPosixSettingsStore store((dir.Path() / "Quellwipe" / "Shred.conf").string());
    EXPECT_EQ(store.ReadInt("PassCount", 3), 3);
    EXPECT_EQ(store.ReadText("Language", "English"), "English");
    EXPECT_FALSE(fs::exists(store.FilePath())); // made on first write

    EXPECT_TRUE(store.WriteInt("PassCount", 7));
    EXPECT_TRUE(store.WriteText("AppPath", "C:\\Program Files\\Quellwipe"));
    EXPECT_TRUE(store.WriteInt("Method", -1));
    EXPECT_EQ(store.ReadInt("passcount", 3), 7);
    EXPECT_EQ(store.ReadInt("Method", 0), -1);
    EXPECT_EQ(store.ReadText("APPPATH", ""), "C:\\Program Files\\Quellwipe");
    // A value of the other type reads as missing.
    EXPECT_EQ(store.ReadText("PassCount", "none"), "none");
    EXPECT_EQ(store.ReadInt("AppPath", 42), 42);
}

TEST(PosixSettingsStore, RewritesInPlaceAndKeepsAwkwardTexts)
{
    TempFolder dir;
    CPosixSettingsStore store((dir.Path() / "s.conf").string());
    std::string awkward = " lead\\n real\nnewline = and \"quotes\" \xC3\xA4 ";
    store.WriteText("Language", "English");
    store.WriteText("Language", awkward);
    store.WriteInt("Folder", 2);
    EXPECT_EQ(store.ReadText("Language", ""), awkward);

    CPosixSettingsStore reopened(store.FilePath());
    EXPECT_EQ(reopened.ReadText("Language", ""), awkward);
    EXPECT_EQ(reopened.ReadInt("Folder", 0), 2);
    std::ifstream in(store.FilePath());
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 2); // one line per value
}

TEST(PosixSettingsStore, DefaultPathUsesXdgConfigHome)
{
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(CPosixSettingsStore::DefaultPath("Quellwipe", "Shred"),
              "/tmp/cfg/Quellwipe/Shred.conf");
    if (old)
    {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    }
    else
    {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(PosixFileSystem, BackslashPathsReachRealFiles)
{
    TempFolder dir;
    fs::create_directories(dir.Path() / "Lang");
    std::ofstream(dir.Path() / "Lang" / "English.ini") << "[s]\nk=v\n";
    CPosixFileSystem files;
    EXPECT_EQ(files.ReadWholeFile(dir.Backslashed() + "\\Lang\\English.ini"), "[s]\nk=v\n");
    EXPECT_EQ(files.ReadWholeFile(dir.Backslashed() + "\\Lang\\Missing.ini"), std::nullopt);
}

TEST(PosixFileSystem, AppendsCreateAndGrowTheFile)
{
    TempFolder dir;
    CPosixFileSystem files;
    std::string log = dir.Backslashed() + "\\log.txt";
    EXPECT_TRUE(files.AppendToFile(log, "one\r\n"));
    EXPECT_TRUE(files.AppendToFile(log, "two\r\n"));
    EXPECT_EQ(files.ReadWholeFile(log), "one\r\ntwo\r\n");
    EXPECT_EQ(files.FileSize(log), 10u);
    EXPECT_EQ(files.FileSize(dir.Backslashed() + "\\missing.txt"), std::nullopt);
    EXPECT_FALSE(files.AppendToFile(dir.Backslashed() + "\\no\\such\\folder\\log.txt", "x"));
}

TEST(PosixNamedMutexes, HeldUntilLetGoAndWaitedForNoLongerThanAsked)
{
    TempFolder dir;
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous ? previous : "";
    ::setenv("TMPDIR", dir.Path().c_str(), 1);
    CPosixNamedMutexes mutexes;
    auto held = mutexes.Hold("Quellwipe log 1", std::chrono::milliseconds(0));
    ASSERT_TRUE(held);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(mutexes.Hold("Quellwipe log 1", std::chrono::milliseconds(60)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_TRUE(mutexes.Hold("Quellwipe log 2", std::chrono::milliseconds(0)));
    held.reset();
    EXPECT_TRUE(mutexes.Hold("Quellwipe log 1", std::chrono::milliseconds(0)));
    previous ? ::setenv("TMPDIR", saved.c_str(), 1) : ::unsetenv("TMPDIR");
}

TEST(PosixFileSystem, ConcurrentAppendsNeverInterleaveInsideAnEntry)
{
    TempFolder dir;
    std::string log = dir.Backslashed() + "\\log.txt";
    const int kEntries = 300;
    std::vector<pid_t> children;
    for (char who : {'a', 'b', 'c'})
    {
        pid_t pid = ::fork();
        if (pid == 0)
        {
            CPosixFileSystem files;
            std::string entry(2000, who);
            entry += "\r\n\r\n";
            for (int i = 0; i < kEntries; ++i)
            {
                files.AppendToFile(log, entry);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children)
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    CPosixFileSystem files;
    std::string content = files.ReadWholeFile(log).value_or("");
    ASSERT_EQ(content.size(), 3u * kEntries * 2004);
    for (std::size_t at = 0; at < content.size(); at += 2004)
    {
        ASSERT_EQ(content.substr(at, 2000), std::string(2000, content[at])) << "at " << at;
        ASSERT_EQ(content.substr(at + 2000, 4), "\r\n\r\n");
    }
}

class PosixFilesTest : public ::testing::Test
{
protected:
    std::string P(const std::string& relative) const
    {
        return m_dir.Backslashed() + "\\" + relative;
    }
    fs::path L(const std::string& relative) const { return m_dir.Path() / relative; }
    std::unique_ptr<IEntry> Open(const std::string& relative)
    {
        auto entry = m_files.Open(P(relative), m_error);
        EXPECT_TRUE(entry) << relative;
        return entry;
    }
    void Make(const std::string& relative, const std::string& content)
    {
        fs::create_directories(L(relative).parent_path());
        std::ofstream(L(relative)) << content;
    }

    TempFolder m_dir;
    CPosixFileSystem m_files;
    OsError m_error;
};

TEST_F(PosixFilesTest, StatusDescribesTheEntryItselfNeverALinksTarget)
{
    Make("f.txt", "12345");
    Make(".hidden", "x");
    fs::create_directory(L("dir"));
    fs::create_symlink(L("f.txt"), L("file-link"));
    fs::create_directory_symlink(L("dir"), L("dir-link"));
    fs::permissions(L("f.txt"), fs::perms::owner_write, fs::perm_options::remove);

    auto file = m_files.Status(P("f.txt"), m_error);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size, 5u);
    EXPECT_TRUE(file->readOnly);
    EXPECT_FALSE(file->isFolder || file->isLink || file->hidden);
    EXPECT_TRUE(m_files.Status(P(".hidden"), m_error)->hidden);
    EXPECT_TRUE(m_files.Status(P("dir"), m_error)->isFolder);
    auto fileLink = m_files.Status(P("file-link"), m_error);
    EXPECT_TRUE(fileLink->isLink && !fileLink->isFolder && !fileLink->readOnly);
    auto dirLink = m_files.Status(P("dir-link"), m_error);
    EXPECT_TRUE(dirLink->isLink && dirLink->isFolder);
    EXPECT_FALSE(m_files.Status(P("none"), m_error));
    EXPECT_EQ(m_error.kind, ErrorKind::NotFound);

    EXPECT_TRUE(m_files.SetNormalAttributes(*Open("f.txt"), m_error));
    EXPECT_FALSE(m_files.Status(P("f.txt"), m_error)->readOnly);
    // Identity: the same file by two names, another file apart.
    fs::create_hard_link(L("f.txt"), L("alias.txt"));
    EXPECT_TRUE(Open("f.txt")->Status().identity == Open("alias.txt")->Status().identity);
    EXPECT_FALSE(Open("f.txt")->Status().identity == Open("dir")->Status().identity);
}

// The free-space wipe's files and folders are made new: a link or a file
// already holding the name fails the call, and what it leads to is kept.
TEST_F(PosixFilesTest, MakingNewNeverOpensWhatHoldsTheName)
{
    Make("outside/precious", "precious");
    fs::create_directory(L("wipe"));
    fs::create_symlink(L("outside/precious"), L("wipe/SHRED000.TMP"));
    fs::create_symlink(L("outside/gone"), L("wipe/SHRED001.TMP"));
    Make("wipe/SHRED002.TMP", "user");
    fs::create_directory_symlink(L("outside"), L("SHREDTMP.$$$"));
    for (const char* taken : {"wipe\\SHRED000.TMP", "wipe\\SHRED001.TMP", "wipe\\SHRED002.TMP"})
    {
        EXPECT_FALSE(m_files.CreateNewForWriting(P(taken), m_error)) << taken;
        EXPECT_EQ(m_error.kind, ErrorKind::AlreadyExists) << taken;
    }
    EXPECT_FALSE(m_files.CreateFolder(P("SHREDTMP.$$$"), m_error));
    EXPECT_EQ(m_error.kind, ErrorKind::AlreadyExists);
    std::ifstream precious(L("outside/precious"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(precious), {}), "precious");
    std::ifstream user(L("wipe/SHRED002.TMP"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(user), {}), "user");
    EXPECT_FALSE(fs::exists(L("outside/gone"))); // a dangling link made nothing

    auto made = m_files.CreateNewForWriting(P("wipe\\SHRED003.TMP"), m_error);
    ASSERT_TRUE(made);
    EXPECT_TRUE(made->WriteAt(0, reinterpret_cast<const std::uint8_t*>("new"), 3, m_error));
    EXPECT_TRUE(made->Close(m_error));
    EXPECT_EQ(fs::file_size(L("wipe/SHRED003.TMP")), 3u);
}

TEST_F(PosixFilesTest, OverwriteOpensOnlyRealFilesAndWritesPastFourGigabytes)
{
    Make("f.txt", "old");
    fs::create_symlink(L("f.txt"), L("link"));
    fs::create_directory(L("dir"));
    EXPECT_FALSE(m_files.OpenForOverwrite(*Open("link"), m_error));
    EXPECT_FALSE(m_files.OpenForOverwrite(*Open("dir"), m_error));
    EXPECT_FALSE(m_files.Open(P("missing"), m_error));
    EXPECT_FALSE(fs::exists(L("missing"))); // never created

    // The name now leads to another file than the one checked: refused.
    auto checked = Open("f.txt");
    fs::rename(L("f.txt"), L("moved.txt"));
    Make("f.txt", "new");
    EXPECT_FALSE(m_files.OpenForOverwrite(*checked, m_error));
    fs::remove(L("f.txt"));
    fs::rename(L("moved.txt"), L("f.txt"));

    fs::resize_file(L("f.txt"), (5ull << 30) + 10);
    auto file = m_files.OpenForOverwrite(*Open("f.txt"), m_error);
    ASSERT_TRUE(file);
    const std::uint8_t tail[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    ASSERT_TRUE(file->WriteAt(5ull << 30, tail, 10, m_error));
    ASSERT_TRUE(file->Flush(m_error));
    std::ifstream in(L("f.txt"), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(5ull << 30));
    std::string read(10, '\0');
    in.read(read.data(), 10);
    EXPECT_EQ(read, "0123456789");
    EXPECT_EQ(fs::file_size(L("f.txt")), (5ull << 30) + 10);
    EXPECT_EQ(file->Size(m_error), (5ull << 30) + 10);
    ASSERT_TRUE(file->Truncate(0, m_error));
    EXPECT_TRUE(file->Close(m_error));
    EXPECT_EQ(fs::file_size(L("f.txt")), 0u);
}

TEST_F(PosixFilesTest, RenameNeverReplacesAndRemovalsKeepTheirKind)
{
    Make("a.txt", "a");
    Make("b.txt", "b");
    auto folder = m_files.Open(m_dir.Backslashed(), m_error);
    ASSERT_TRUE(folder);
    EXPECT_FALSE(m_files.RenameIn(*folder, "a.txt", "b.txt", m_error));
    EXPECT_EQ(m_error.kind, ErrorKind::AlreadyExists);
    EXPECT_EQ(m_files.ReadWholeFile(P("b.txt")), "b");
    EXPECT_FALSE(m_files.RenameIn(*folder, "a.txt", "../escape", m_error));
    EXPECT_TRUE(m_files.RenameIn(*folder, "a.txt", "c.txt", m_error));
    EXPECT_FALSE(m_files.RemoveIn(*folder, "c.txt", RemoveKind::Link, m_error));
    EXPECT_TRUE(m_files.RemoveIn(*folder, "c.txt", RemoveKind::File, m_error));

    Make("full/x", "x");
    EXPECT_FALSE(m_files.RemoveFolder(P("full"), m_error));
    EXPECT_EQ(m_error.kind, ErrorKind::NotEmpty);
    EXPECT_FALSE(m_files.ErrorText(m_error.code).empty());

    fs::create_directory_symlink(L("full"), L("link"));
    EXPECT_FALSE(m_files.RemoveIn(*folder, "full", RemoveKind::Link, m_error)); // not a link
    EXPECT_FALSE(m_files.RemoveIn(*folder, "link", RemoveKind::Folder, m_error));
    EXPECT_TRUE(m_files.RemoveIn(*folder, "link", RemoveKind::Link, m_error));
    EXPECT_TRUE(fs::exists(L("full/x")));
}

TEST_F(PosixFilesTest, ListingGivesEveryEntryButDotAndDotDot)
{
    Make("d/one", "1");
    Make("d/sub/two", "22");
    fs::create_symlink(L("d/one"), L("d/link"));
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(m_files.ListFolder(P("d"), entries, m_error));
    std::map<std::string, FileStatus> byName;
    for (const auto& e : entries)
    {
        byName[e.name] = e.status;
    }
    ASSERT_EQ(byName.size(), 3u);
    EXPECT_EQ(byName["one"].size, 1u);
    EXPECT_TRUE(byName["sub"].isFolder);
    EXPECT_TRUE(byName["link"].isLink);
    EXPECT_FALSE(m_files.ListFolder(P("nothing"), entries, m_error));
}

TEST(PosixTextCodec, Windows1252ToUtf8)
{
    CPosixTextCodec codec;
    EXPECT_EQ(codec.AnsiToUtf8("abc"), "abc");
    EXPECT_EQ(codec.AnsiToUtf8("\xE4\xDF"), "\xC3\xA4\xC3\x9F");
    EXPECT_EQ(codec.AnsiToUtf8("\x80\x93"), "\xE2\x82\xAC\xE2\x80\x9C");
}

} // namespace
} // namespace qw
