#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_settings_store.h"
#include "platform/posix/posix_text_codec.h"

#include <gtest/gtest.h>

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
    EXPECT_FALSE(files.AppendToFile(dir.Backslashed() + "\\no\\such\\folder\\log.txt", "x"));
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

TEST(PosixTextCodec, Windows1252ToUtf8)
{
    CPosixTextCodec codec;
    EXPECT_EQ(codec.AnsiToUtf8("abc"), "abc");
    EXPECT_EQ(codec.AnsiToUtf8("\xE4\xDF"), "\xC3\xA4\xC3\x9F");
    EXPECT_EQ(codec.AnsiToUtf8("\x80\x93"), "\xE2\x82\xAC\xE2\x80\x9C");
}

} // namespace
} // namespace qw
